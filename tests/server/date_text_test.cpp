// Dates and times of declared date/time columns as 14 digits.
#include <gtest/gtest.h>

#include "server/backends/date_text.h"

namespace {

using dorvd::TemporalKind;

struct DateCase {
    const char* declared_type;
    const char* text;
    const char* digits; // nullptr: not a date of that kind
};

class FourteenDigits : public ::testing::TestWithParam<DateCase> {};

TEST_P(FourteenDigits, ReadsText) {
    const DateCase& c = GetParam();
    const auto digits = dorvd::fourteen_digits(c.text, dorvd::temporal_kind(c.declared_type));
    if (c.digits == nullptr) {
        EXPECT_FALSE(digits.has_value()) << *digits;
    } else {
        ASSERT_TRUE(digits.has_value());
        EXPECT_EQ(*digits, c.digits);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FourteenDigits,
    ::testing::Values(
        DateCase{"DATE", "1996-03-01", "19960301000000"},
        DateCase{"date", "2000-02-29", "20000229000000"},
        DateCase{"DATE", "1996-03-01 12:00:00", "19960301120000"},
        DateCase{"DATETIME", "1996-12-08 09:05:03", "19961208090503"},
        DateCase{"DATETIME", "1996-12-08", "19961208000000"},
        DateCase{"TIMESTAMP", "1996-12-08T09:05:03.250", "19961208090503"},
        DateCase{"TIMESTAMP", "1996-12-08 09:05", "19961208090500"},
        DateCase{"TIME", "09:05:03", "19700101090503"}, DateCase{"TIME", "23:59", "19700101235900"},
        DateCase{"DATE", "1999-02-29", nullptr}, DateCase{"DATE", "1996-13-01", nullptr},
        DateCase{"DATE", "1996-3-1", nullptr}, DateCase{"DATE", "tomorrow", nullptr},
        DateCase{"DATE", "", nullptr}, DateCase{"DATETIME", "1996-12-08 24:00:00", nullptr},
        DateCase{"DATETIME", "1996-12-08 12:00:00.", nullptr},
        DateCase{"DATETIME", "1996-12-08 12:00:00 UTC", nullptr},
        DateCase{"TIME", "12:60", nullptr}, DateCase{"TEXT", "1996-03-01", nullptr},
        DateCase{nullptr, "1996-03-01", nullptr}));

TEST(TemporalKind, FollowsTheDeclaredType) {
    EXPECT_EQ(dorvd::temporal_kind(nullptr), TemporalKind::none);
    EXPECT_EQ(dorvd::temporal_kind("VARCHAR(20)"), TemporalKind::none);
    EXPECT_EQ(dorvd::temporal_kind("date"), TemporalKind::date);
    EXPECT_EQ(dorvd::temporal_kind("DateTime"), TemporalKind::datetime);
    EXPECT_EQ(dorvd::temporal_kind("TIMESTAMP"), TemporalKind::datetime);
    EXPECT_EQ(dorvd::temporal_kind("TIME"), TemporalKind::time);
}

} // namespace
