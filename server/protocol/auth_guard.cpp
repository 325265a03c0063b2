#include "server/protocol/auth_guard.h"

#include <algorithm>

namespace dorvd {
namespace {

std::string key_of(const std::string& address, const std::string& database) {
    return address + '\0' + database;
}

} // namespace

long long AuthGuard::delay_ms(int base_ms, int count) {
    if (base_ms <= 0 || count <= 0) return 0;
    long long delay = base_ms;
    for (int i = 1; i < count && delay < kMaxDelayMs; ++i)
        delay *= 2;
    return std::min(delay, kMaxDelayMs);
}

AuthGuard::Entry* AuthGuard::find(const std::string& address, const std::string& database) {
    const auto now = Clock::now();
    const auto own = entries_.find(key_of(address, database));
    if (own != entries_.end()) {
        // Forgotten an hour after its last wrong password (once its delay is over).
        if (now - own->second.last_failure < kForgetAfter || now < own->second.next_check)
            return &own->second;
        entries_.erase(own);
    }
    if (entries_.size() < kMaxAddresses) return nullptr;
    const auto shared = shared_.find(database);
    return shared != shared_.end() ? &shared->second : nullptr;
}

bool AuthGuard::make_room(Clock::time_point now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        const Entry& entry = it->second;
        if (now - entry.last_failure >= kForgetAfter && now >= entry.next_check) {
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    return entries_.size() < kMaxAddresses;
}

AuthGuard::Clock::time_point AuthGuard::begin_attempt(const std::string& address,
                                                      const std::vector<std::string>& databases) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    std::vector<Entry*> counted;
    Clock::time_point latest = now;
    for (const std::string& database : databases) {
        Entry* entry = find(address, database);
        if (entry == nullptr) continue;
        counted.push_back(entry);
        latest = std::max(latest, entry->next_check);
    }
    if (latest > now) return latest;
    // This attempt goes ahead: the next one waits at least this one's delay.
    for (Entry* entry : counted)
        entry->next_check =
            now + std::chrono::milliseconds(delay_ms(base_delay_ms_, entry->failures));
    return now;
}

AuthGuard::Failure AuthGuard::failed(const std::string& address, const std::string& database) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    Failure failure;
    Entry* entry = find(address, database);
    if (entry == nullptr) {
        if (entries_.size() < kMaxAddresses || make_room(now)) {
            entry = &entries_[key_of(address, database)];
        } else {
            entry = &shared_[database];
        }
    }
    const auto shared = shared_.find(database);
    failure.shared = shared != shared_.end() && entry == &shared->second;
    ++entry->failures;
    entry->last_failure = now;
    failure.count = entry->failures;
    failure.delay_ms = delay_ms(base_delay_ms_, entry->failures);
    entry->next_check =
        std::max(entry->next_check, now + std::chrono::milliseconds(failure.delay_ms));
    failure.until = entry->next_check;
    return failure;
}

void AuthGuard::succeeded(const std::string& address, const std::vector<std::string>& databases) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& database : databases)
        entries_.erase(key_of(address, database));
}

size_t AuthGuard::tracked() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

} // namespace dorvd
