// A stand-in for dorv32.dll that exports the add-in's eleven calls at their
// ordinals and under no name (dorv32_stub.def is made from the library's own
// definitions), answers each with a fixed value and notes the ordinals called.
#include "client/include/dorv32.h"

#include <cstring>
#include <string>

namespace {
std::string reached;
void note(int ordinal) {
    reached += (reached.empty() ? "" : " ") + std::to_string(ordinal);
}
} // namespace

extern "C" {
// The ordinals called since the last time, separated by blanks; then forgets them.
int stub_reached(char* out, int size) {
    std::strncpy(out, reached.c_str(), static_cast<size_t>(size) - 1);
    out[size - 1] = '\0';
    reached.clear();
    return 0;
}

int DORV_CALL hl_connect(char*, const char*, const char*, int) {
    note(1);
    return 7;
}
int DORV_CALL hl_connect_ini(const char*, const char*, int, int) {
    note(2);
    return 7;
}
int DORV_CALL hl_disconnect(int) {
    note(3);
    return 0;
}
int DORV_CALL hl_dorv_version(int, char* text) {
    note(8);
    std::strcpy(text, "stub version");
    return 0;
}
int DORV_CALL hl_dorv_exec(int, char*) {
    note(9);
    return 0;
}
int DORV_CALL hl_dorv_explain(int, char*, int, int) {
    note(10);
    return 0;
}
int DORV_CALL hl_dorv_hdr_val(int) {
    note(13);
    return 0;
}
int DORV_CALL hl_dorv_next_val(int) {
    note(14);
    return 0;
}
// A failing field: the caller explains it and writes no cell.
int DORV_CALL hl_dorv_tfield(int, char*, int) {
    note(15);
    return 5;
}
int DORV_CALL hl_dorv_select_entry(int, char* keyfield, int, int) {
    note(17);
    std::strcpy(keyfield, "K1");
    return 1;
}
int DORV_CALL hl_set_inifile(int, const char*, const char*) {
    note(18);
    return 1;
}
}
