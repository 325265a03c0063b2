// SQLite's memory through the server's own allocator. While a request runs
// on a thread, a large allocation made for it fails once the request is past
// its time limit (or the server shuts down), and SQLite ends the statement.
//
// SQLite looks at the time limit (its progress handler) only where its
// program loops. Straight-line work between two such places can be long: a
// row of hundreds of values of many megabytes each is all made before the
// next look. Every such value needs large allocations, so failing them once
// the limit has passed ends that work within one value's time.
#pragma once

#include <atomic>
#include <chrono>

namespace dorvd {

// Installs the allocator; it must come before SQLite's first use in the
// process. False (and SQLite's own allocator stays) when it comes too late.
bool install_sqlite_allocator();

// The limit of the request running on the calling thread, until clear_request_limit().
void set_request_limit(bool timed, std::chrono::steady_clock::time_point deadline,
                       const std::atomic<bool>* stopping);
void clear_request_limit();

} // namespace dorvd
