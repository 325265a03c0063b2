// The process's cache of database passwords: every database name whose
// password the server has accepted, in the order they were accepted; a
// password that the server refuses later is forgotten again. The only
// storage of the library on the heap.
#pragma once

#include "client/connection/connection_table.h"

#include <stddef.h>

struct DatabaseCacheEntry {
    char db_name[INI_TEXT_SIZE];
    char db_pswd[INI_TEXT_SIZE];
};

extern DatabaseCacheEntry* database_cache;
extern int database_cache_count;

// How the cache grows (realloc); tests put a failing one in its place.
extern void* (*database_cache_grow)(void* storage, size_t bytes);

// The calls below hold the cache's lock: threads that open databases at the
// same time share it.

// No entries and no storage (at attach and at detach).
void release_database_cache();
// The cached password of a name (compared byte for byte), or nullptr. The
// pointer is good until the cache changes: with other threads about, take
// copy_cached_password.
const char* find_cached_password(const char* name);
// Copies the cached password of a name into `password` (INI_TEXT_SIZE
// bytes); false when the name has none.
bool copy_cached_password(const char* name, char* password);
// Appends one entry (each text cut to 255 characters). False when the cache
// cannot grow: nothing is stored then.
bool add_cached_password(const char* name, const char* password);
// Appends an entry for a name that has none yet: the number of entries then,
// or 0 when the name has one already or the cache cannot grow.
int cache_new_password(const char* name, const char* password);
// Removes the entry of a name if it holds this password; the later entries
// move up. False when there is no such entry.
bool forget_cached_password(const char* name, const char* password);
