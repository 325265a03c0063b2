// Wrong passwords counted per client address and database, across that
// address's connections: after a wrong password, the next attempt on the
// database from the address (whatever its password) is checked only when the
// current delay is over, one attempt at a time; the delay doubles with each
// further wrong password. A right password resets the address's count.
//
// At most kMaxAddresses pairs of address and database are counted; beyond
// that ceiling, failures from further addresses are counted together, as if
// they came from one address, so that spreading guesses over many addresses
// gains nothing once the table is full. A pair is forgotten an hour after
// its last wrong password.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace dorvd {

class AuthGuard {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t kMaxAddresses = 4096;
    static constexpr auto kForgetAfter = std::chrono::hours(1);
    static constexpr long long kMaxDelayMs = 60 * 1000;

    // base_delay_ms: the delay after the first wrong password; 0 for none.
    explicit AuthGuard(int base_delay_ms) : base_delay_ms_(base_delay_ms) {}

    // Asks to check a password for these databases from address. Returns now
    // (or earlier) when the check may go ahead; the next attempt then waits
    // for this one's delay. Otherwise the time to ask again.
    Clock::time_point begin_attempt(const std::string& address,
                                    const std::vector<std::string>& databases);

    struct Failure {
        int count = 0;           // wrong passwords from the address (or the shared count)
        long long delay_ms = 0;  // the delay this one earned
        Clock::time_point until; // its answer, and the next attempt, wait until then
        bool shared = false;     // counted with other addresses: the table is full
    };
    // A wrong password for database from address.
    Failure failed(const std::string& address, const std::string& database);

    // A right password: the address's counts for these databases start again.
    void succeeded(const std::string& address, const std::vector<std::string>& databases);

    // The delay after the count-th wrong password: the base, doubled for each
    // further one, at most a minute.
    static long long delay_ms(int base_ms, int count);

    size_t tracked() const;

  private:
    struct Entry {
        int failures = 0;
        Clock::time_point next_check; // no attempt is checked before
        Clock::time_point last_failure;
    };

    // The entry that counts for address and database, or null when there is none yet.
    Entry* find(const std::string& address, const std::string& database);
    // Makes room for a new pair by forgetting old ones; false when the table stays full.
    bool make_room(Clock::time_point now);

    const int base_delay_ms_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_; // key: address, NUL, database
    std::map<std::string, Entry> shared_;  // key: database; addresses past the ceiling
};

} // namespace dorvd
