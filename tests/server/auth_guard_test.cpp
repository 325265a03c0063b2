// Wrong passwords counted per address and database, across connections.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "server/protocol/auth_guard.h"

namespace {

using dorvd::AuthGuard;
using Clock = AuthGuard::Clock;
using namespace std::chrono_literals;

struct DelayCase {
    int base_ms;
    int count;
    long long delay_ms;
};

class AuthDelay : public ::testing::TestWithParam<DelayCase> {};

TEST_P(AuthDelay, DoublesUpToAMinute) {
    EXPECT_EQ(AuthGuard::delay_ms(GetParam().base_ms, GetParam().count), GetParam().delay_ms);
}

INSTANTIATE_TEST_SUITE_P(Cases, AuthDelay,
                         ::testing::Values(DelayCase{500, 1, 500}, DelayCase{500, 2, 1000},
                                           DelayCase{500, 5, 8000}, DelayCase{500, 8, 60000},
                                           DelayCase{500, 1000, 60000}, DelayCase{0, 3, 0},
                                           DelayCase{100, 0, 0}, DelayCase{60000, 2, 60000}),
                         [](const auto& info) {
                             return "base" + std::to_string(info.param.base_ms) + "_failure" +
                                    std::to_string(info.param.count);
                         });

bool goes_now(AuthGuard& guard, const std::string& address, const std::string& database) {
    const Clock::time_point when = guard.begin_attempt(address, {database});
    return when <= Clock::now();
}

TEST(AuthGuard, TheNextAttemptWaitsForTheDelayWhateverItsPassword) {
    AuthGuard guard(200);
    ASSERT_TRUE(goes_now(guard, "10.0.0.1", "secret"));
    const AuthGuard::Failure first = guard.failed("10.0.0.1", "secret");
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(first.delay_ms, 200);
    EXPECT_FALSE(first.shared);
    // Asked again before the delay is over, from any connection: the time to ask again.
    const Clock::time_point again = guard.begin_attempt("10.0.0.1", {"secret"});
    EXPECT_GT(again, Clock::now());
    EXPECT_EQ(again, first.until);
    // Other databases and other addresses are not slowed.
    EXPECT_TRUE(goes_now(guard, "10.0.0.1", "sample"));
    EXPECT_TRUE(goes_now(guard, "10.0.0.2", "secret"));
    // A list naming the slowed database waits as a whole.
    EXPECT_GT(guard.begin_attempt("10.0.0.1", {"sample", "secret"}), Clock::now());
}

TEST(AuthGuard, AttemptsAfterTheDelayGoOneAtATime) {
    AuthGuard guard(100);
    guard.failed("10.0.0.1", "secret");
    std::this_thread::sleep_until(guard.begin_attempt("10.0.0.1", {"secret"}));
    // Two connections ask at once: one goes, the other waits this one's delay.
    EXPECT_TRUE(goes_now(guard, "10.0.0.1", "secret"));
    const Clock::time_point second = guard.begin_attempt("10.0.0.1", {"secret"});
    EXPECT_GT(second, Clock::now() + 50ms);
    // The first was wrong too: the delay doubles.
    const AuthGuard::Failure failure = guard.failed("10.0.0.1", "secret");
    EXPECT_EQ(failure.count, 2);
    EXPECT_EQ(failure.delay_ms, 200);
    EXPECT_GE(guard.begin_attempt("10.0.0.1", {"secret"}), failure.until);
}

TEST(AuthGuard, ARightPasswordStartsTheCountAgain) {
    AuthGuard guard(50);
    guard.failed("10.0.0.1", "secret");
    guard.failed("10.0.0.1", "secret");
    EXPECT_EQ(guard.failed("10.0.0.1", "secret").count, 3);
    guard.succeeded("10.0.0.1", {"secret"});
    EXPECT_TRUE(goes_now(guard, "10.0.0.1", "secret"));
    EXPECT_EQ(guard.failed("10.0.0.1", "secret").count, 1);
    EXPECT_EQ(guard.tracked(), 1u);
}

TEST(AuthGuard, NoDelayWithoutABase) {
    AuthGuard guard(0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(goes_now(guard, "10.0.0.1", "secret"));
        const Clock::time_point until = guard.failed("10.0.0.1", "secret").until;
        EXPECT_LE(until, Clock::now());
    }
}

// Past the ceiling, further addresses are counted together: spreading
// guesses over many addresses gains nothing once the table is full.
TEST(AuthGuard, AddressesPastTheCeilingAreCountedTogether) {
    AuthGuard guard(1000);
    for (size_t i = 0; i < AuthGuard::kMaxAddresses; ++i)
        guard.failed("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "secret");
    EXPECT_EQ(guard.tracked(), AuthGuard::kMaxAddresses);
    ASSERT_TRUE(goes_now(guard, "10.9.0.1", "secret"));
    const AuthGuard::Failure shared = guard.failed("10.9.0.1", "secret");
    EXPECT_TRUE(shared.shared);
    EXPECT_EQ(guard.tracked(), AuthGuard::kMaxAddresses);
    // Another new address waits for the shared count's delay.
    EXPECT_GT(guard.begin_attempt("10.9.0.2", {"secret"}), Clock::now());
    EXPECT_EQ(guard.failed("10.9.0.2", "secret").count, 2);
    // A database nobody guessed at is not slowed for them.
    EXPECT_TRUE(goes_now(guard, "10.9.0.3", "sample"));
}

} // namespace
