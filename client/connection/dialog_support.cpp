#include "client/connection/dialog_support.h"

#include "common/diagnostics.h"

int ctl3d_available = 0;

namespace {

typedef int(PLAT_WINAPI* WindowCall)(PlatWindow);
typedef int(PLAT_WINAPI* SubclassCall)(PlatWindow, unsigned short);
typedef intptr_t(PLAT_WINAPI* FramePaintCall)(PlatWindow, unsigned, uintptr_t, intptr_t);
typedef int(PLAT_WINAPI* ColorChangeCall)();

void* ctl3d_library = nullptr;
WindowCall ctl3d_register_entry = nullptr;
WindowCall ctl3d_unregister_entry = nullptr;
SubclassCall ctl3d_subclass_entry = nullptr;
FramePaintCall ctl3d_frame_paint_entry = nullptr;
ColorChangeCall ctl3d_color_change_entry = nullptr;

} // namespace

int load_ctl3d() {
    ctl3d_library = plat_load_library("ctl3d32.dll");
    if (ctl3d_library == nullptr) {
        debug_print("Unable to load CTL3D32.DLL\nWinErrno=%lu\n", plat_last_error());
        return 0;
    }
    ctl3d_register_entry =
        reinterpret_cast<WindowCall>(plat_get_proc(ctl3d_library, "Ctl3dRegister"));
    ctl3d_unregister_entry =
        reinterpret_cast<WindowCall>(plat_get_proc(ctl3d_library, "Ctl3dUnregister"));
    ctl3d_subclass_entry =
        reinterpret_cast<SubclassCall>(plat_get_proc(ctl3d_library, "Ctl3dSubclassDlg"));
    ctl3d_frame_paint_entry =
        reinterpret_cast<FramePaintCall>(plat_get_proc(ctl3d_library, "Ctl3dDlgFramePaint"));
    ctl3d_color_change_entry =
        reinterpret_cast<ColorChangeCall>(plat_get_proc(ctl3d_library, "Ctl3dColorChange"));
    if (ctl3d_register_entry != nullptr && ctl3d_unregister_entry != nullptr &&
        ctl3d_subclass_entry != nullptr && ctl3d_frame_paint_entry != nullptr &&
        ctl3d_color_change_entry != nullptr) {
        debug_print("load_ctl3d successful !\n");
        return 1;
    }
    debug_print("Unable to establish dynamic\nlinkage to CTL3D32.DLL\nWinErrno=%lu\n",
                plat_last_error());
    release_ctl3d();
    return 0;
}

void release_ctl3d() {
    if (ctl3d_library != nullptr) plat_free_library(ctl3d_library);
    ctl3d_library = nullptr;
    ctl3d_register_entry = nullptr;
    ctl3d_unregister_entry = nullptr;
    ctl3d_subclass_entry = nullptr;
    ctl3d_frame_paint_entry = nullptr;
    ctl3d_color_change_entry = nullptr;
}

int ctl3d_register(PlatWindow window) {
    return ctl3d_available != 0 ? ctl3d_register_entry(window) : 0;
}

int ctl3d_subclass_dlg(PlatWindow window, unsigned short kinds) {
    return ctl3d_available != 0 ? ctl3d_subclass_entry(window, kinds) : 0;
}

int ctl3d_unregister(PlatWindow window) {
    return ctl3d_available != 0 ? ctl3d_unregister_entry(window) : 0;
}

intptr_t ctl3d_dlg_frame_paint(PlatWindow window, unsigned message, uintptr_t wparam,
                               intptr_t lparam) {
    return ctl3d_available != 0 ? ctl3d_frame_paint_entry(window, message, wparam, lparam) : 0;
}

int ctl3d_color_change() {
    return ctl3d_available != 0 ? ctl3d_color_change_entry() : 0;
}

void center_dialog(PlatWindow window, int width, int height) {
    PlatRect r;
    if (!plat_window_rect(window, &r)) return;
    if (width == 0) width = r.right - r.left;
    if (height == 0) height = r.bottom - r.top;
    int screen_width, screen_height;
    plat_screen_size(&screen_width, &screen_height);
    // Integer division truncates toward zero, also for a dialog larger than the screen.
    plat_move_window(window, (screen_width - width) / 2, (screen_height - height) / 2, width,
                     height, true);
}

const PlatDialogServices dialog_services = {
    &ctl3d_available,      ctl3d_register,     ctl3d_subclass_dlg, ctl3d_unregister,
    ctl3d_dlg_frame_paint, ctl3d_color_change, center_dialog,
};
