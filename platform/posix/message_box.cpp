#include "platform/platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
PlatMessageBoxHook box_hook = nullptr;
void* box_context = nullptr;
PlatMessageRoute message_route = nullptr;
} // namespace

void plat_set_message_box_hook(PlatMessageBoxHook hook, void* context) {
    box_hook = hook;
    box_context = context;
}

void plat_set_message_route(PlatMessageRoute route) {
    message_route = route;
}

int plat_message_box(const char* text, const char* caption, unsigned style) {
    if (message_route != nullptr) return message_route(text, caption, style);
    if (box_hook != nullptr) return box_hook(text, caption, style, box_context);
    if (caption == nullptr) caption = "";
    // "caption: text", without a second colon after a caption that ends in one.
    size_t n = strlen(caption);
    fprintf(stderr, "%s%s %s\n", caption, n > 0 && caption[n - 1] == ':' ? "" : ":",
            text != nullptr ? text : "");
    fflush(stderr);
    return PLAT_IDOK;
}

void plat_debug_output(const char* text) {
    fputs(text, stderr);
    fflush(stderr);
}

bool plat_environment(const char* name, char* buffer, int size) {
    const char* value = getenv(name);
    if (size > 0) buffer[0] = '\0';
    if (value == nullptr) return false;
    if (size > 0) {
        size_t n = strlen(value);
        if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
        memcpy(buffer, value, n);
        buffer[n] = '\0';
    }
    return true;
}
