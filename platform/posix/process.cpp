#include "platform/platform.h"

#include <ctype.h>
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

// Asked once per thread: every library call resolves its handle with it.
unsigned long plat_thread_id() {
    static thread_local unsigned long id = static_cast<unsigned long>(syscall(SYS_gettid));
    return id;
}

void plat_lock(PlatLock* lock) {
    pthread_mutex_lock(&lock->mutex);
}

void plat_unlock(PlatLock* lock) {
    pthread_mutex_unlock(&lock->mutex);
}

unsigned long plat_last_error() {
    return static_cast<unsigned long>(errno);
}

void plat_local_time(PlatLocalTime* out) {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    *out = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_wday};
}

// A Windows library name ("xlcall32.dll", "ctl3d32.dll") is looked for as the
// shared object "libxlcall32.so" on the loader's search path.
void* plat_load_library(const char* name) {
    char so_name[300];
    size_t n = strlen(name);
    if (n > 4 && n < 250 && strcasecmp(name + n - 4, ".dll") == 0 && strchr(name, '/') == nullptr) {
        char base[256];
        for (size_t i = 0; i < n - 4; ++i)
            base[i] = static_cast<char>(tolower(static_cast<unsigned char>(name[i])));
        base[n - 4] = '\0';
        snprintf(so_name, sizeof so_name, "lib%s.so", base);
        name = so_name;
    }
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) errno = ENOENT;
    return library;
}

void* plat_get_proc(void* library, const char* name) {
    return dlsym(library, name);
}

void plat_free_library(void* library) {
    dlclose(library);
}

void* plat_host_program() {
    static void* program = dlopen(nullptr, RTLD_NOW);
    return program;
}

void* plat_get_proc_ordinal(void*, unsigned) {
    errno = ENOENT;
    return nullptr;
}

int plat_module_path(const void* address, char* buffer, int size) {
    Dl_info info;
    if (size <= 0 || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return 0;
    size_t n = strlen(info.dli_fname);
    if (n == 0 || n >= static_cast<size_t>(size)) return 0;
    memcpy(buffer, info.dli_fname, n + 1);
    return static_cast<int>(n);
}

bool plat_temp_folder(char* buffer, int size) {
    if (size < 1) return false;
    const char* dir = getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    size_t n = strlen(dir);
    int written =
        snprintf(buffer, static_cast<size_t>(size), "%s%s", dir, dir[n - 1] == '/' ? "" : "/");
    return written > 0 && written < size;
}
