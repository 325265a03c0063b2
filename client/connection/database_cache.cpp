#include "client/connection/database_cache.h"

#include "client/connection/config_file.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

DatabaseCacheEntry* database_cache = nullptr;
int database_cache_count = 0;
void* (*database_cache_grow)(void* storage, size_t bytes) = realloc;

namespace {

PlatLock cache_lock;

const DatabaseCacheEntry* entry_of(const char* name) {
    for (int i = 0; i < database_cache_count; ++i)
        if (strcmp(database_cache[i].db_name, name) == 0) return &database_cache[i];
    return nullptr;
}

bool append_entry(const char* name, const char* password) {
    if (database_cache_count == INT_MAX) return false;
    size_t bytes = (static_cast<size_t>(database_cache_count) + 1) * sizeof(DatabaseCacheEntry);
    // Grows by exactly one entry; on failure the old storage stays as it was.
    void* grown = database_cache_grow(database_cache, bytes);
    if (grown == nullptr) return false;
    database_cache = static_cast<DatabaseCacheEntry*>(grown);
    DatabaseCacheEntry* entry = &database_cache[database_cache_count++];
    copy_cut(entry->db_name, name);
    copy_cut(entry->db_pswd, password);
    return true;
}

} // namespace

void release_database_cache() {
    PlatLockHold hold(cache_lock);
    free(database_cache);
    database_cache = nullptr;
    database_cache_count = 0;
}

const char* find_cached_password(const char* name) {
    PlatLockHold hold(cache_lock);
    const DatabaseCacheEntry* entry = entry_of(name);
    return entry != nullptr ? entry->db_pswd : nullptr;
}

bool copy_cached_password(const char* name, char* password) {
    PlatLockHold hold(cache_lock);
    const DatabaseCacheEntry* entry = entry_of(name);
    if (entry != nullptr) copy_cut(password, entry->db_pswd);
    return entry != nullptr;
}

bool add_cached_password(const char* name, const char* password) {
    PlatLockHold hold(cache_lock);
    return append_entry(name, password);
}

int cache_new_password(const char* name, const char* password) {
    PlatLockHold hold(cache_lock);
    if (entry_of(name) != nullptr || !append_entry(name, password)) return 0;
    return database_cache_count;
}

bool forget_cached_password(const char* name, const char* password) {
    PlatLockHold hold(cache_lock);
    for (int i = 0; i < database_cache_count; ++i) {
        if (strcmp(database_cache[i].db_name, name) != 0) continue;
        if (strcmp(database_cache[i].db_pswd, password) != 0) return false;
        size_t later = static_cast<size_t>(database_cache_count - i - 1);
        memmove(&database_cache[i], &database_cache[i + 1], later * sizeof(DatabaseCacheEntry));
        --database_cache_count;
        return true;
    }
    return false;
}
