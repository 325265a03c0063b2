#include "xll_loader.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

std::string xll_path() {
#ifdef _WIN32
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir(exe, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "DORV32.XLL";
#else
    return DORV_XLL_FILE;
#endif
}

void* load_xll(std::string* error) {
    std::string path = xll_path();
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr)
        *error = "LoadLibrary(" + path + ") failed, error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
#else
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) *error = dlerror();
    return module;
#endif
}

void unload_xll(void* module) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

namespace {

void* symbol(void* module, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

template <typename F> bool find(void* module, const char* name, F* out, std::string* missing) {
    void* p = symbol(module, name);
    *out = reinterpret_cast<F>(p);
    if (p == nullptr && missing->empty()) *missing = name;
    return p != nullptr;
}

void* shared_module = nullptr;
XllExports shared_exports;
Xll12Exports shared_exports12;

} // namespace

#define FIND(name) ok = find(module, #name, &out->name, missing) && ok

bool find_exports(void* module, XllExports* out, std::string* missing) {
    missing->clear();
    bool ok = true;
    FIND(xlAutoOpen);
    FIND(xlAutoClose);
    FIND(xlAutoRegister);
    FIND(xlAutoRemove);
    FIND(xlAutoAdd);
    FIND(xlAddInManagerInfo);
    FIND(XDorvConnect);
    FIND(XDorvConnectIni);
    FIND(XDorvDisconnect);
    FIND(XDorvSetInifile);
    FIND(XDorvVersion);
    FIND(XDorvClearRange);
    FIND(XDorvExecRange);
    FIND(XDorvExec);
    FIND(XDorvRange);
    FIND(XDorvSelectEntry);
    return ok;
}

bool find_exports12(void* module, Xll12Exports* out, std::string* missing) {
    missing->clear();
    bool ok = true;
    FIND(xlAutoRegister12);
    FIND(XDorvConnect12);
    FIND(XDorvConnectIni12);
    FIND(XDorvDisconnect12);
    FIND(XDorvSetInifile12);
    FIND(XDorvVersion12);
    FIND(XDorvClearRange12);
    FIND(XDorvExecRange12);
    FIND(XDorvExec12);
    FIND(XDorvRange12);
    FIND(XDorvSelectEntry12);
    return ok;
}
#undef FIND

const XllExports& xll() {
    if (shared_module == nullptr) {
        std::string error;
        shared_module = load_xll(&error);
        if (shared_module == nullptr) {
            ADD_FAILURE() << error;
            shared_exports = XllExports{};
            shared_exports12 = Xll12Exports{};
        } else if (!find_exports(shared_module, &shared_exports, &error) ||
                   !find_exports12(shared_module, &shared_exports12, &error)) {
            ADD_FAILURE() << "export missing: " << error;
        }
    }
    return shared_exports;
}

const Xll12Exports& xll12() {
    xll();
    return shared_exports12;
}

void unload_shared_xll() {
    if (shared_module != nullptr) unload_xll(shared_module);
    shared_module = nullptr;
    shared_exports = XllExports{};
    shared_exports12 = Xll12Exports{};
}

void reload_xll() {
    unload_shared_xll();
    xll();
}
