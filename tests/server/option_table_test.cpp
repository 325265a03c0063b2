// dorvd's option table against its parser and its usage text.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "server/options.h"

namespace {

using dorvd::OptionEntry;
using dorvd::OptionReading;
using dorvd::OptionsOutcome;
using dorvd::ServerOptions;

// True when the option's field holds the same in both.
bool same_field(const OptionEntry& entry, const ServerOptions& a, const ServerOptions& b) {
    return std::visit(
        [&](auto member) {
            if constexpr (std::is_same_v<decltype(member), std::monostate>) {
                return true;
            } else if constexpr (std::is_same_v<decltype(member),
                                                std::filesystem::path ServerOptions::*>) {
                return (a.*member).lexically_normal() == (b.*member).lexically_normal();
            } else {
                return a.*member == b.*member;
            }
        },
        entry.field);
}

std::vector<std::string> given(const OptionEntry& entry, const std::string& value, bool joined) {
    const std::string name(entry.name);
    if (joined) return {name + "=" + value};
    return {name, value};
}

// Every option the usage shows with its default reads that default back
// into its field, in both argument forms; the rest of the options keep theirs.
TEST(OptionTable, ShownDefaultsAreTheDefaults) {
    const ServerOptions defaults;
    for (const OptionEntry& entry : dorvd::option_table()) {
        EXPECT_NE(dorvd::usage_text().find("  " + std::string(entry.name) + " "), std::string::npos)
            << entry.name;
        if (entry.argument.empty() || entry.shown_default.empty()) continue;
        for (const bool joined : {false, true}) {
            ServerOptions options;
            std::string error;
            ASSERT_EQ(dorvd::parse_options(given(entry, std::string(entry.shown_default), joined),
                                           options, error),
                      OptionsOutcome::run)
                << entry.name << ": " << error;
            for (const OptionEntry& other : dorvd::option_table())
                EXPECT_TRUE(same_field(other, options, defaults))
                    << entry.name << " " << other.name;
        }
    }
}

// The bounds a number option shows are the bounds it holds to.
TEST(OptionTable, NumbersHoldToTheirBounds) {
    for (const OptionEntry& entry : dorvd::option_table()) {
        if (entry.reading != OptionReading::number &&
            entry.reading != OptionReading::zero_or_number)
            continue;
        struct Case {
            long long value;
            bool accepted;
        };
        std::vector<Case> cases = {{entry.low, true}};
        if (entry.low > 0) cases.push_back({entry.low - 1, false});
        if (entry.high != std::numeric_limits<long long>::max()) {
            cases.push_back({entry.high, true});
            cases.push_back({entry.high + 1, false});
        }
        if (entry.reading == OptionReading::zero_or_number) cases.push_back({0, true});
        for (const Case& c : cases) {
            for (const bool joined : {false, true}) {
                ServerOptions options;
                std::string error;
                const OptionsOutcome outcome = dorvd::parse_options(
                    given(entry, std::to_string(c.value), joined), options, error);
                EXPECT_EQ(outcome, c.accepted ? OptionsOutcome::run : OptionsOutcome::error)
                    << entry.name << " " << c.value << ": " << error;
                if (!c.accepted) {
                    EXPECT_EQ(error.rfind(std::string(entry.name) + ": '", 0), 0u) << error;
                }
            }
        }
    }
}

// The usage fits a terminal of 80 columns.
TEST(OptionTable, UsageLinesFitEightyColumns) {
    const std::string usage = dorvd::usage_text();
    size_t start = 0;
    while (start < usage.size()) {
        const size_t end = usage.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 79u) << usage.substr(start, end - start);
        start = end + 1;
    }
}

} // namespace
