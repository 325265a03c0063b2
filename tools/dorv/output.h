// Text output of results.
#pragma once

#include <string>

// One CSV field: quoted when it holds a comma, a quote or a line break.
std::string csv_field(const std::string& text);
// A value record's field (type character, then text) as CSV: dates in ISO 8601
// ('D' YYYY-MM-DD, 'T' YYYY-MM-DD hh:mm:ss), an empty text as "", and a field
// without even a type character (NULL) as nothing.
std::string csv_value(const std::string& field);
// The 14 digits YYYYMMDDhhmmss as ISO 8601; the date alone when asked and the
// time is midnight. Anything else comes back as it is.
std::string iso_date(const std::string& digits, bool date_only);
// A typed value as "type:text" ("N:42", "S:Berlin"); a field with no type shows as "-:".
std::string typed_value(const std::string& field);
// A line of dashes as wide as the header line.
std::string rule_for(const std::string& header);
