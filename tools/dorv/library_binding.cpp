#include "library_binding.h"

#include "dorv32.h"

#ifdef _WIN32
#include <windows.h>

namespace {
HMODULE library = nullptr;

// One pointer per call the program makes, found by its exported name.
// clang-format off
#define DORV_CALLS(X)                                                                              \
    X(hl_connect) X(hl_connect_ini) X(hl_disconnect) X(hl_echo) X(hl_uxcmd) X(hl_fetch_blk)        \
    X(hl_fetch_ln) X(hl_dorv_version) X(hl_dorv_exec) X(hl_dorv_explain) X(hl_dorv_hdr_ln)         \
    X(hl_dorv_next_row) X(hl_dorv_hdr_val) X(hl_dorv_next_val) X(hl_dorv_tfield)                   \
    X(hl_dorv_select_entry)
// clang-format on
#define DECLARE_POINTER(name) decltype(&::name) p_##name = nullptr;
DORV_CALLS(DECLARE_POINTER)
} // namespace

bool bind_library(std::string* error) {
    // The library reads where its messages go when it is attached; a user's own choice stays.
    if (GetEnvironmentVariableA("DORV_MESSAGES", nullptr, 0) == 0)
        SetEnvironmentVariableA("DORV_MESSAGES", "stderr");
    library = LoadLibraryA("dorv32.dll");
    if (library == nullptr) {
        *error = "cannot load dorv32.dll (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
#define FIND_POINTER(name)                                                                         \
    p_##name = reinterpret_cast<decltype(p_##name)>(                                               \
        reinterpret_cast<void*>(GetProcAddress(library, #name)));                                  \
    if (p_##name == nullptr) {                                                                     \
        *error = "dorv32.dll lacks " #name;                                                        \
        return false;                                                                              \
    }
    DORV_CALLS(FIND_POINTER)
    return true;
}

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
int DORV_CALL hl_echo(int handle, const char* text) {
    return p_hl_echo(handle, text);
}
int DORV_CALL hl_uxcmd(int handle, const char* command) {
    return p_hl_uxcmd(handle, command);
}
int DORV_CALL hl_fetch_blk(int handle, char* buffer, int size) {
    return p_hl_fetch_blk(handle, buffer, size);
}
int DORV_CALL hl_fetch_ln(int handle, char* buffer, int size) {
    return p_hl_fetch_ln(handle, buffer, size);
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
int DORV_CALL hl_dorv_hdr_ln(int handle, int code, char* buffer, int size) {
    return p_hl_dorv_hdr_ln(handle, code, buffer, size);
}
int DORV_CALL hl_dorv_next_row(int handle, char* buffer, int size) {
    return p_hl_dorv_next_row(handle, buffer, size);
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

bool bind_library(std::string*) {
    // Linked as usual: its attach has run before main and read DORV_MESSAGES then.
    // Without windows its boxes come to standard error in every mode but "log".
    return true;
}

#endif
