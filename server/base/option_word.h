// One command-line argument split into an option's name and value, and a
// number with its size suffix, as dorvd and its set-up command read them.
#pragma once

#include <string>

namespace dorvd {

// One argument as the option's name and, for "--name=value", its value.
struct OptionWord {
    std::string name;
    std::string value;
    bool has_value = false;
};
OptionWord split_option(const std::string& argument);

// A decimal number, optionally (allow_suffix) followed by K, M or G (powers
// of 1024, either case); false when the text is no such number or it
// overflows.
bool read_number(const std::string& text, bool allow_suffix, long long& value);

} // namespace dorvd
