// The add-in's entry point: attach and detach for the process. On Windows a
// failed attach fails the load; on POSIX, where a constructor cannot refuse
// the load, the add-in stays loaded but every export answers with its failure
// value.
#include "addin/lifecycle.h"

#ifdef _WIN32
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) return xll_attach() ? TRUE : FALSE;
    if (reason == DLL_PROCESS_DETACH) xll_detach();
    return TRUE;
}
#else
__attribute__((constructor)) static void dorvxll32_load() {
    xll_attach();
}
__attribute__((destructor)) static void dorvxll32_unload() {
    xll_detach();
}
#endif
