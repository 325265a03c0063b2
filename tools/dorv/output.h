// Text output of results.
#pragma once

#include <string>

// One CSV field: quoted when it holds a comma, a quote or a line break.
std::string csv_field(const std::string& text);
// A typed value as "type:text" ("N:42", "S:Berlin"); a field with no type shows as "-:".
std::string typed_value(const std::string& field);
// A line of dashes as wide as the header line.
std::string rule_for(const std::string& header);
