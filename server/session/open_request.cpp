#include "server/session/open_request.h"

#include "server/base/log.h"
#include "server/session/password_file.h"
#include "server/base/status_codes.h"

namespace dorvd {

std::optional<OpenRequest> read_open_request(std::string_view statement,
                                             const std::filesystem::path& data_dir,
                                             Outcome& failure) {
    std::string error;
    auto list = parse_open_database(statement, error);
    if (!list) {
        failure = {kStatusOpenSyntax,
                   "OPEN DATABASE: " + error + ". Write OPEN DATABASE 'name' [AS 'password'], ..."};
        return std::nullopt;
    }
    OpenRequest request;
    request.databases = std::move(*list);
    std::string warnings;
    if (!read_password_file(data_dir / kPasswordFileName, request.passwords, warnings, error)) {
        log_line(error);
        failure = {kStatusPasswordFileUnreadable,
                   "The server cannot read its password file; no database was opened."};
        return std::nullopt;
    }
    if (!warnings.empty()) log_line(warnings.substr(0, warnings.size() - 1));
    return request;
}

std::optional<Outcome> wrong_password(const OpenRequest& request, const DatabaseRequest& database) {
    const auto entry = request.passwords.find(database.name);
    if (entry == request.passwords.end() || database.password == entry->second) return std::nullopt;
    Outcome wrong{kStatusWrongPassword, "Wrong password for database '" + database.name + "'."};
    wrong.wrong_password_for = database.name;
    return wrong;
}

Outcome databases_open(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return {kStatusOk, "", "Databases open: " + list + "."};
}

} // namespace dorvd
