// One value of a query's row as a backend hands it over: typed, in UTF-8.
#pragma once

#include <optional>
#include <string>

namespace dorvd {

struct Cell {
    char type = 'S';  // 'S' text, 'N' number, 'D' date, 'T' date and time
    std::string text; // UTF-8; for a date or time its 14 digits YYYYMMDDhhmmss
    // A date's or time's text as stored (UTF-8), when it was asked for.
    std::optional<std::string> stored;
};

} // namespace dorvd
