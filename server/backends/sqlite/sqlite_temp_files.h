// Bounds the temporary files of one SQLite connection (sorts and indexes
// that spill, the temporary database, statement journals): a file system
// (VFS) of the connection's own over SQLite's default one, counting the
// bytes those files hold together. A write that would take them past the
// bound fails with SQLITE_FULL, so the statement fails with status 13 and
// is undone. SQLite deletes such files as soon as it opens them, so they
// cannot be seen in the folder; only this count knows their size.
#pragma once

#include <atomic>
#include <cstddef>
#include <sqlite3.h>
#include <string>

namespace dorvd {

class TempFileBound {
  public:
    // limit: the bytes the connection's temporary files may hold together.
    explicit TempFileBound(size_t limit);
    // The connection using vfs_name() must be closed before.
    ~TempFileBound();
    TempFileBound(const TempFileBound&) = delete;
    TempFileBound& operator=(const TempFileBound&) = delete;

    // The name to open the connection's databases with; empty when the file
    // system could not be set up (the connection then has no such bound).
    const char* vfs_name() const { return registered_ ? name_.c_str() : nullptr; }
    size_t used() const { return used_.load(); }
    size_t limit() const { return limit_; }
    // A write was refused since the last call.
    bool take_refusal() { return refused_.exchange(false); }

    // The default file system the connection's own stands on.
    sqlite3_vfs* base() const { return base_; }
    // For the file methods: takes grown bytes, false (nothing taken) when over the bound.
    bool grow(size_t bytes);
    void shrink(size_t bytes) { used_.fetch_sub(bytes); }

  private:
    sqlite3_vfs vfs_{};
    sqlite3_vfs* base_;
    std::string name_;
    size_t limit_;
    std::atomic<size_t> used_{0};
    std::atomic<bool> refused_{false};
    bool registered_ = false;
};

} // namespace dorvd
