#include "server/backends/sqlite/sqlite_allocator.h"

#include <cstdlib>
#include <malloc.h>
#include <sqlite3.h>

namespace dorvd {
namespace {

// Allocations from this size on fail past the limit; smaller ones (the
// bookkeeping of ending the statement) go on.
constexpr int kLargeBytes = 64 * 1024;

struct RequestLimit {
    bool active = false;
    bool timed = false;
    std::chrono::steady_clock::time_point deadline;
    const std::atomic<bool>* stopping = nullptr;
};

thread_local RequestLimit request_limit;

bool refused(int bytes) {
    const RequestLimit& limit = request_limit;
    if (!limit.active || bytes < kLargeBytes) return false;
    if (limit.stopping != nullptr && limit.stopping->load()) return true;
    return limit.timed && std::chrono::steady_clock::now() >= limit.deadline;
}

void* allocate(int bytes) {
    return refused(bytes) ? nullptr : std::malloc(static_cast<size_t>(bytes));
}

void release(void* block) {
    std::free(block);
}

void* reallocate(void* block, int bytes) {
    return refused(bytes) ? nullptr : std::realloc(block, static_cast<size_t>(bytes));
}

int size_of(void* block) {
    return block != nullptr ? static_cast<int>(malloc_usable_size(block)) : 0;
}

int round_up(int bytes) {
    return (bytes + 7) & ~7;
}

int start(void*) {
    return SQLITE_OK;
}

void stop(void*) {}

const sqlite3_mem_methods kMethods = {allocate, release, reallocate, size_of,
                                      round_up, start,   stop,       nullptr};

} // namespace

bool install_sqlite_allocator() {
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &kMethods) == SQLITE_OK;
}

void set_request_limit(bool timed, std::chrono::steady_clock::time_point deadline,
                       const std::atomic<bool>* stopping) {
    request_limit = {true, timed, deadline, stopping};
}

void clear_request_limit() {
    request_limit = {};
}

} // namespace dorvd
