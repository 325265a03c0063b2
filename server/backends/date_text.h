// Dates and times of a result, as the 14 digits YYYYMMDDhhmmss that value
// records carry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dorvd {

enum class TemporalKind { none, date, datetime, time };

// The kind a column's declared type gives: DATETIME and TIMESTAMP are
// datetime, DATE date, TIME time (case-insensitive, anywhere in the type).
TemporalKind temporal_kind(const char* declared_type);

// Reads "YYYY-MM-DD", "YYYY-MM-DD hh:mm[:ss[.fff]]" (blank or 'T' between
// date and time) and, for time columns, "hh:mm[:ss[.fff]]". A time of day
// alone is dated 1970-01-01, the first day a client can show. Returns no
// value for text of another form or with a field out of range.
std::optional<std::string> fourteen_digits(std::string_view text, TemporalKind kind);

} // namespace dorvd
