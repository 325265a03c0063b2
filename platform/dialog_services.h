// What the two modal dialogs of the platform need from the calling layer
// while they run: the 3-D controls wrappers and centring.
#pragma once

#include "platform/platform.h"

// `ctl3d_available` is read at every message; the wrappers do nothing while
// it is 0.
struct PlatDialogServices {
    const int* ctl3d_available;
    int (*register_3d)(PlatWindow window);
    int (*subclass_3d)(PlatWindow window, unsigned short kinds);
    int (*unregister_3d)(PlatWindow window);
    intptr_t (*frame_paint_3d)(PlatWindow window, unsigned message, uintptr_t wparam,
                               intptr_t lparam);
    int (*color_change_3d)();
    // Gives the dialog an outer size and centres it on the screen (0: as it is).
    void (*center)(PlatWindow window, int width, int height);
};
