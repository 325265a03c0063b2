#include "server/backends/sqlite/sqlite_temp_files.h"

#include <algorithm>
#include <cstdint>

namespace dorvd {
namespace {

constexpr int kTemporary = SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_SUBJOURNAL |
                           SQLITE_OPEN_TRANSIENT_DB;

std::atomic<unsigned> next_number{1};

// A file of the connection's file system: the default file system's file
// behind it, and for a temporary file the bytes it holds.
struct BoundedFile {
    sqlite3_file base; // first: SQLite sees this
    sqlite3_file* real;
    TempFileBound* bound;
    sqlite3_int64 size;
    bool counted;
};

// The real file lies behind ours, aligned for any type.
constexpr size_t kRealOffset = (sizeof(BoundedFile) + 15) / 16 * 16;

// The default file system that the connection's own stands on.
sqlite3_vfs* base_of(sqlite3_vfs* vfs) {
    return static_cast<TempFileBound*>(vfs->pAppData)->base();
}

BoundedFile* of(sqlite3_file* file) {
    return reinterpret_cast<BoundedFile*>(file);
}

sqlite3_file* real(sqlite3_file* file) {
    return of(file)->real;
}

int file_close(sqlite3_file* file) {
    BoundedFile* f = of(file);
    if (f->counted) f->bound->shrink(static_cast<size_t>(f->size));
    f->size = 0;
    return f->real->pMethods->xClose(f->real);
}

int file_read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return real(file)->pMethods->xRead(real(file), buffer, amount, offset);
}

int file_write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    BoundedFile* f = of(file);
    sqlite3_int64 grown = 0;
    if (f->counted && offset + amount > f->size) {
        grown = offset + amount - f->size;
        if (!f->bound->grow(static_cast<size_t>(grown))) return SQLITE_FULL;
    }
    const int rc = f->real->pMethods->xWrite(f->real, buffer, amount, offset);
    if (rc != SQLITE_OK) {
        if (grown > 0) f->bound->shrink(static_cast<size_t>(grown));
    } else if (grown > 0) {
        f->size = offset + amount;
    }
    return rc;
}

int file_truncate(sqlite3_file* file, sqlite3_int64 size) {
    BoundedFile* f = of(file);
    if (f->counted && size > f->size && !f->bound->grow(static_cast<size_t>(size - f->size)))
        return SQLITE_FULL;
    const int rc = f->real->pMethods->xTruncate(f->real, size);
    if (f->counted) {
        if (rc == SQLITE_OK && size < f->size) {
            f->bound->shrink(static_cast<size_t>(f->size - size));
            f->size = size;
        } else if (size > f->size) {
            if (rc == SQLITE_OK) {
                f->size = size;
            } else {
                f->bound->shrink(static_cast<size_t>(size - f->size));
            }
        }
    }
    return rc;
}

int file_sync(sqlite3_file* file, int flags) {
    return real(file)->pMethods->xSync(real(file), flags);
}

int file_size(sqlite3_file* file, sqlite3_int64* size) {
    return real(file)->pMethods->xFileSize(real(file), size);
}

int file_lock(sqlite3_file* file, int level) {
    return real(file)->pMethods->xLock(real(file), level);
}

int file_unlock(sqlite3_file* file, int level) {
    return real(file)->pMethods->xUnlock(real(file), level);
}

int file_check_reserved(sqlite3_file* file, int* out) {
    return real(file)->pMethods->xCheckReservedLock(real(file), out);
}

int file_control(sqlite3_file* file, int op, void* argument) {
    return real(file)->pMethods->xFileControl(real(file), op, argument);
}

int file_sector_size(sqlite3_file* file) {
    return real(file)->pMethods->xSectorSize(real(file));
}

int file_device(sqlite3_file* file) {
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}

int file_shm_map(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    return m->iVersion >= 2 ? m->xShmMap(real(file), page, size, extend, out) : SQLITE_IOERR;
}

int file_shm_lock(sqlite3_file* file, int offset, int n, int flags) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    return m->iVersion >= 2 ? m->xShmLock(real(file), offset, n, flags) : SQLITE_IOERR;
}

void file_shm_barrier(sqlite3_file* file) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    if (m->iVersion >= 2) m->xShmBarrier(real(file));
}

int file_shm_unmap(sqlite3_file* file, int delete_flag) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    return m->iVersion >= 2 ? m->xShmUnmap(real(file), delete_flag) : SQLITE_OK;
}

int file_fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    if (m->iVersion >= 3) return m->xFetch(real(file), offset, amount, out);
    *out = nullptr;
    return SQLITE_OK;
}

int file_unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer) {
    const sqlite3_io_methods* m = real(file)->pMethods;
    return m->iVersion >= 3 ? m->xUnfetch(real(file), offset, pointer) : SQLITE_OK;
}

const sqlite3_io_methods kFileMethods = {
    3,
    file_close,
    file_read,
    file_write,
    file_truncate,
    file_sync,
    file_size,
    file_lock,
    file_unlock,
    file_check_reserved,
    file_control,
    file_sector_size,
    file_device,
    file_shm_map,
    file_shm_lock,
    file_shm_barrier,
    file_shm_unmap,
    file_fetch,
    file_unfetch,
};

int vfs_open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags,
             int* out_flags) {
    sqlite3_vfs* base = base_of(vfs);
    BoundedFile* f = of(file);
    f->base.pMethods = nullptr;
    f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kRealOffset);
    f->real->pMethods = nullptr;
    f->bound = static_cast<TempFileBound*>(vfs->pAppData);
    f->size = 0;
    f->counted = (flags & kTemporary) != 0 || name == nullptr;
    const int rc = base->xOpen(base, name, f->real, flags, out_flags);
    // SQLite closes a file whose methods are set, also after a failed open.
    if (f->real->pMethods != nullptr) f->base.pMethods = &kFileMethods;
    return rc;
}

int vfs_delete(sqlite3_vfs* vfs, const char* name, int sync_dir) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xDelete(base, name, sync_dir);
}

int vfs_access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xAccess(base, name, flags, out);
}

int vfs_full_pathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xFullPathname(base, name, size, out);
}

void* vfs_dl_open(sqlite3_vfs* vfs, const char* name) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xDlOpen(base, name);
}

void vfs_dl_error(sqlite3_vfs* vfs, int size, char* out) {
    sqlite3_vfs* base = base_of(vfs);
    base->xDlError(base, size, out);
}

void (*vfs_dl_sym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xDlSym(base, handle, symbol);
}

void vfs_dl_close(sqlite3_vfs* vfs, void* handle) {
    sqlite3_vfs* base = base_of(vfs);
    base->xDlClose(base, handle);
}

int vfs_randomness(sqlite3_vfs* vfs, int size, char* out) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xRandomness(base, size, out);
}

int vfs_sleep(sqlite3_vfs* vfs, int microseconds) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xSleep(base, microseconds);
}

int vfs_current_time(sqlite3_vfs* vfs, double* out) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xCurrentTime(base, out);
}

int vfs_last_error(sqlite3_vfs* vfs, int size, char* out) {
    sqlite3_vfs* base = base_of(vfs);
    return base->xGetLastError != nullptr ? base->xGetLastError(base, size, out) : 0;
}

int vfs_current_time_int64(sqlite3_vfs* vfs, sqlite3_int64* out) {
    sqlite3_vfs* base = base_of(vfs);
    if (base->iVersion >= 2 && base->xCurrentTimeInt64 != nullptr)
        return base->xCurrentTimeInt64(base, out);
    double days = 0;
    const int rc = base->xCurrentTime(base, &days);
    *out = static_cast<sqlite3_int64>(days * 86400000.0);
    return rc;
}

} // namespace

TempFileBound::TempFileBound(size_t limit) : base_(sqlite3_vfs_find(nullptr)), limit_(limit) {
    sqlite3_vfs* base = base_;
    if (base == nullptr) return;
    name_ = "dorvd-" + std::to_string(next_number.fetch_add(1));
    vfs_.iVersion = 2;
    vfs_.szOsFile = static_cast<int>(kRealOffset) + base->szOsFile;
    vfs_.mxPathname = base->mxPathname;
    vfs_.zName = name_.c_str();
    vfs_.pAppData = this;
    vfs_.xOpen = vfs_open;
    vfs_.xDelete = vfs_delete;
    vfs_.xAccess = vfs_access;
    vfs_.xFullPathname = vfs_full_pathname;
    vfs_.xDlOpen = vfs_dl_open;
    vfs_.xDlError = vfs_dl_error;
    vfs_.xDlSym = vfs_dl_sym;
    vfs_.xDlClose = vfs_dl_close;
    vfs_.xRandomness = vfs_randomness;
    vfs_.xSleep = vfs_sleep;
    vfs_.xCurrentTime = vfs_current_time;
    vfs_.xGetLastError = vfs_last_error;
    vfs_.xCurrentTimeInt64 = vfs_current_time_int64;
    registered_ = sqlite3_vfs_register(&vfs_, 0) == SQLITE_OK;
}

TempFileBound::~TempFileBound() {
    if (registered_) sqlite3_vfs_unregister(&vfs_);
}

bool TempFileBound::grow(size_t bytes) {
    size_t used = used_.load();
    do {
        if (bytes > limit_ || used > limit_ - bytes) {
            refused_.store(true);
            return false;
        }
    } while (!used_.compare_exchange_weak(used, used + bytes));
    return true;
}

} // namespace dorvd
