#include "server/base/option_word.h"

#include <charconv>
#include <limits>

namespace dorvd {

OptionWord split_option(const std::string& argument) {
    OptionWord word{argument, "", false};
    const size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
        word.value = argument.substr(equals + 1);
        word.name.resize(equals);
        word.has_value = true;
    }
    return word;
}

bool read_number(const std::string& text, bool allow_suffix, long long& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [last, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || last == begin || value < 0) return false;
    if (last == end) return true;
    if (!allow_suffix || last + 1 != end) return false;
    int shift = 0;
    switch (*last) {
    case 'K':
    case 'k':
        shift = 10;
        break;
    case 'M':
    case 'm':
        shift = 20;
        break;
    case 'G':
    case 'g':
        shift = 30;
        break;
    default:
        return false;
    }
    if (value > (std::numeric_limits<long long>::max() >> shift)) return false;
    value <<= shift;
    return true;
}

} // namespace dorvd
