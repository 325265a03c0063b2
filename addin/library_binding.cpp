#include "addin/library_binding.h"

#ifdef _WIN32

#include "client/include/dorv32.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

namespace {

// The eleven calls that the add-in makes and their fixed ordinals in dorv32.
// clang-format off
#define DORV32_IMPORTS(X)                                                                          \
    X(hl_connect, 1) X(hl_connect_ini, 2) X(hl_disconnect, 3) X(hl_dorv_version, 8)                \
    X(hl_dorv_exec, 9) X(hl_dorv_explain, 10) X(hl_dorv_hdr_val, 13) X(hl_dorv_next_val, 14)       \
    X(hl_dorv_tfield, 15) X(hl_dorv_select_entry, 17) X(hl_set_inifile, 18)
// clang-format on
#define DECLARE_POINTER(name, ordinal) decltype(&::name) p_##name = nullptr;
DORV32_IMPORTS(DECLARE_POINTER)
#undef DECLARE_POINTER

const char LIBRARY_FILE[] = "dorv32.dll";
void* library = nullptr;

// A failed binding is said in a box, as a failed binding of Excel's callback library is.
void show_failure(const char* text) {
    plat_message_box(text, "DORV32.XLL", PLAT_MB_ICONSTOP); // and only an OK button
}

// The full path of dorv32.dll in the folder of the module that holds this
// binding (the add-in), into path[size]. False when it does not fit.
bool library_path(char* path, int size) {
    int n = plat_module_path(&library, path, size);
    if (n == 0) return false;
    while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/')
        --n;
    if (n + static_cast<int>(sizeof LIBRARY_FILE) > size) return false;
    memcpy(path + n, LIBRARY_FILE, sizeof LIBRARY_FILE);
    return true;
}

void clear_pointers() {
#define CLEAR_POINTER(name, ordinal) p_##name = nullptr;
    DORV32_IMPORTS(CLEAR_POINTER)
#undef CLEAR_POINTER
}

} // namespace

bool bind_dorv32() {
    char path[300];
    char text[400];
    if (!library_path(path, sizeof path)) {
        // Only a folder path beyond Windows' own limit gets here.
        snprintf(text, sizeof text, "Unable to load %s\nfrom the add-in's folder\nWinErrno=%lu",
                 LIBRARY_FILE, plat_last_error());
        show_failure(text);
        return false;
    }
    library = plat_load_library(path);
    if (library == nullptr) {
        snprintf(text, sizeof text, "Unable to load %s\nWinErrno=%lu", path, plat_last_error());
        show_failure(text);
        return false;
    }
#define FIND_POINTER(name, ordinal)                                                                \
    p_##name = reinterpret_cast<decltype(p_##name)>(plat_get_proc_ordinal(library, ordinal));      \
    if (p_##name == nullptr) {                                                                     \
        snprintf(text, sizeof text,                                                                \
                 "Unable to establish dynamic\nlinkage to %s\nOrdinal=%d WinErrno=%lu", path,      \
                 ordinal, plat_last_error());                                                      \
        show_failure(text);                                                                        \
        release_dorv32();                                                                          \
        return false;                                                                              \
    }
    DORV32_IMPORTS(FIND_POINTER)
#undef FIND_POINTER
    return true;
}

void release_dorv32() {
    clear_pointers();
    if (library != nullptr) plat_free_library(library);
    library = nullptr;
}

// The calls, as the rest of the add-in makes them, through the pointers.
extern "C" {
int DORV_CALL hl_connect(char* transport, const char* server, const char* service, int debug) {
    return p_hl_connect(transport, server, service, debug);
}
int DORV_CALL hl_connect_ini(const char* filename, const char* section, int debug, int dbopen) {
    return p_hl_connect_ini(filename, section, debug, dbopen);
}
int DORV_CALL hl_disconnect(int handle) {
    return p_hl_disconnect(handle);
}
int DORV_CALL hl_set_inifile(int handle, const char* filename, const char* section) {
    return p_hl_set_inifile(handle, filename, section);
}
int DORV_CALL hl_dorv_version(int handle, char* text) {
    return p_hl_dorv_version(handle, text);
}
int DORV_CALL hl_dorv_exec(int handle, char* text) {
    return p_hl_dorv_exec(handle, text);
}
int DORV_CALL hl_dorv_explain(int handle, char* buffer, int size, int code) {
    return p_hl_dorv_explain(handle, buffer, size, code);
}
int DORV_CALL hl_dorv_hdr_val(int handle) {
    return p_hl_dorv_hdr_val(handle);
}
int DORV_CALL hl_dorv_next_val(int handle) {
    return p_hl_dorv_next_val(handle);
}
int DORV_CALL hl_dorv_tfield(int handle, char* buffer, int size) {
    return p_hl_dorv_tfield(handle, buffer, size);
}
int DORV_CALL hl_dorv_select_entry(int hdl, char* keyfield, int keylen, int max_select) {
    return p_hl_dorv_select_entry(hdl, keyfield, keylen, max_select);
}
}

#else

// Bound by the loader, by name, before attach.
bool bind_dorv32() {
    return true;
}
void release_dorv32() {}

#endif
