// The modal entry selection dialog (template 102): a sorted list of rows, a
// status line, OK and Cancel. The platform runs the dialog and its window
// calls; what it shows and what a pick means come from the caller's callbacks.
//
// On Win32 this is the real dialog from the module's resources. On POSIX there
// is no window: the dialog keeps its rows sorted as the list box would, and a
// pluggable answerer sees them with the status line and makes the pick.
#pragma once

#include "platform/dialog_services.h"
#include "platform/platform.h"

enum : int {
    LIST_DIALOG_TEMPLATE = 102,
    LIST_ID_OK = 1,
    LIST_ID_CANCEL = 2,
    LIST_ID_LIST = 1001,
    LIST_ID_STATUS = 1002,
    LIST_MIN_TRACK_WIDTH = 260, // smallest window the user can drag it to
    LIST_MIN_TRACK_HEIGHT = 230,
    LIST_HORIZONTAL_EXTENT = 1020, // pixels the list scrolls horizontally
    LIST_FACE_SIZE = 32,
};

// What the dialog needs from its caller. The callbacks run on the thread that
// called plat_list_dialog_run, inside its modal loop.
struct PlatListDialogCalls {
    void* context;
    // When the dialog is created and before it is shown: fills the list, lays
    // it out, or ends it at once with plat_list_end. The value is that of
    // WM_INITDIALOG (true: the platform sets the focus).
    bool (*init)(void* context, PlatWindow dialog);
    // OK or a double-click on an entry: takes entry `index` of the list.
    void (*take)(void* context, PlatWindow dialog, int index);
    // The 3-D controls and centring, as for the password dialog.
    const PlatDialogServices* services;
};

// Runs the dialog modally without owner window, with the template from
// `instance`. Returns true with *result the value the dialog ended with (1: an
// entry was taken, 0: none or cancelled, -1 as plat_list_end was told); false
// when the dialog could not be created (nothing of it ran).
bool plat_list_dialog_run(PlatInstance instance, const PlatListDialogCalls* calls, int* result);

// ------------------------------------------------ calls for the callbacks
// Ends the dialog with `result` (not shown when called from init).
void plat_list_end(PlatWindow dialog, int result);
// Adds a row to the list, which keeps its rows sorted.
void plat_list_add(PlatWindow dialog, const char* row);
// The number of entries in the list.
int plat_list_count(PlatWindow dialog);
// The text of entry `index` into buffer (at most size - 1 characters and a
// NUL). Returns its length, or -1 (buffer "") when there is no such entry or it
// does not fit.
int plat_list_text(PlatWindow dialog, int index, char* buffer, int size);
// Sets the text of control `id` (a button or the status line).
void plat_list_set_item_text(PlatWindow dialog, int id, const char* text);

struct PlatListFont {
    int height; // LOGFONT semantics: negative means character height in pixels
    int width;
    char face[LIST_FACE_SIZE];
};
// Gives the list a font made from the dialog's own font with weight 400 and
// this height, width and face, without redrawing. Returns 0 when the dialog's
// font or its description cannot be had (nothing changed), 1 when the font is
// set, -1 when it could not be created.
int plat_list_set_font(PlatWindow dialog, const PlatListFont* font);
// The first layout: moves the controls for a client area of width x height
// pixels (0: the template's size), then gives the dialog that size and centres
// it. Later sizes come from the user, and the controls follow them.
void plat_list_first_layout(PlatWindow dialog, int width, int height);
// Before showing: the list's horizontal extent, entry 0 selected, the focus in
// the list.
void plat_list_ready(PlatWindow dialog);

#ifndef _WIN32
// ------------------------------------------------ POSIX: the answerer
// What the user would see.
struct PlatListView {
    const char* caption;
    const char* const* rows; // sorted as the list box sorts them
    int count;
    int selected;       // the entry selected (0)
    const char* status; // the status line
    const char* ok_text;
    const char* cancel_text;
    PlatListFont font; // the list's font as the caller set it
    int width, height; // client size of the first layout (0: the template's)
};
// Returns the index of the row picked (as OK), or -1 for Cancel. Any other
// value counts as Cancel.
typedef int (*PlatListAnswerer)(const PlatListView* view, void* context);
// Without an answerer the dialog is cancelled: nobody saw the rows.
void plat_set_list_answerer(PlatListAnswerer answerer, void* context);
#endif
