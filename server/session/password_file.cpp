#include "server/session/password_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace dorvd {
namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

bool read_password_file(const std::filesystem::path& path,
                        std::map<std::string, std::string>& entries, std::string& warnings,
                        std::string& error) {
    entries.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path);
    if (!in) {
        error = "cannot read password file " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            warnings += path.string() + " line " + std::to_string(number) +
                        ": no ':' between name and password; line ignored\n";
            continue;
        }
        entries[trimmed(line.substr(0, colon))] = line.substr(colon + 1);
    }
    if (in.bad()) {
        error = "error reading password file " + path.string();
        return false;
    }
    return true;
}

} // namespace dorvd
