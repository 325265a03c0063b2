#include "platform/platform.h"

#include <stdio.h>

namespace {
PlatMessageBoxHook box_hook = nullptr;
void* box_context = nullptr;
} // namespace

void plat_set_message_box_hook(PlatMessageBoxHook hook, void* context) {
    box_hook = hook;
    box_context = context;
}

int plat_message_box(const char* text, const char* caption, unsigned style) {
    if (box_hook != nullptr) return box_hook(text, caption, style, box_context);
    fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    fflush(stderr);
    return PLAT_IDOK;
}

void plat_debug_output(const char* text) {
    fputs(text, stderr);
    fflush(stderr);
}
