// The library's entry point: attach and detach for the process.
#include "client/connection/library.h"

#ifdef _WIN32
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        dorv_library_attach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        dorv_library_detach();
    return TRUE;
}
#else
#include "client/resources/string_table.h"

__attribute__((constructor)) static void dorv32_load() {
    dorv_library_attach(dorv32_string_table());
}
__attribute__((destructor)) static void dorv32_unload() {
    dorv_library_detach();
}
#endif
