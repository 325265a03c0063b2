// Services for the library's dialogs: the optional 3-D controls library
// (CTL3D32) and centring a dialog on the screen.
#pragma once

#include "client/connection/library.h" // library_instance: the module of the dialog templates
#include "platform/dialog_services.h"
#include "platform/platform.h"

extern int ctl3d_available;

// The kinds of controls ctl3d_subclass_dlg gives the 3-D look: all of them.
enum : unsigned short { CTL3D_ALL = 0xFFFF };

// Loads "ctl3d32.dll" and its five entry points; 1 when all are there.
int load_ctl3d();
// Releases the library if it is held.
void release_ctl3d();

// Each returns 0 without calling anything when the library is not available.
int ctl3d_register(PlatWindow window);
int ctl3d_subclass_dlg(PlatWindow window, unsigned short kinds);
int ctl3d_unregister(PlatWindow window);
intptr_t ctl3d_dlg_frame_paint(PlatWindow window, unsigned message, uintptr_t wparam,
                               intptr_t lparam);
int ctl3d_color_change();

// Moves the window to the middle of the screen with the given outer size
// (0: its present width or height), and repaints it.
void center_dialog(PlatWindow window, int width, int height);

// All of these for the platform's dialogs.
extern const PlatDialogServices dialog_services;
