// hl_dorv_select_entry: the rows of the last query in a modal, resizable list
// dialog; the key of the row the user picks goes back to the caller.
#include "client/connection/config_file.h"
#include "client/connection/dialog_support.h"
#include "client/connection/export_call.h"
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "client/protocol/message_layer.h"
#include "client/select/select_text.h"
#include "platform/list_dialog.h"

#include <atomic>
#include <string.h>

namespace {

// The one selection that may run at a time.
struct Selection {
    ConnectionRecord* connection;
    int hdl;
    char* keyfield; // the caller's buffer, at least 256 bytes
    int keylen;
    int max_select;
    int key_offset;
};

// The header code of the dialog's header line, where the key column is found.
const int SELECT_HEADER_CODE = 2;

// 1 for as long as a selection runs: set with exchange, so that a second
// caller finds it taken.
std::atomic<int> select_busy{0};
Selection selection;

// A key of the connection's configuration file, its section first, then
// "Global". True when a non-empty text was found.
bool read_key(const char* key, char* value) {
    value[0] = '\0';
    const ConnectionRecord* c = selection.connection;
    return c->ini_file[0] != '\0' &&
           read_config_text(c->ini_file, c->ini_section, key, value, SELECT_TEXT_SIZE);
}

bool configured() {
    return selection.connection->ini_file[0] != '\0' &&
           selection.connection->ini_section[0] != '\0';
}

// Shows a configured message (backslash-n: a new line) or the built-in one.
// The configured text is shown as it stands, never used as a format.
void show_message(const char* key, const char* builtin) {
    char text[SELECT_TEXT_SIZE];
    if (configured() && read_key(key, text))
        error_box("%s", expand_newlines(text));
    else
        error_box("%s", builtin);
}

// Reads the rows into the list. False when a row could not be read (the
// server's explanation has been shown).
bool fill_list(PlatWindow dialog) {
    char row[SELECT_TEXT_SIZE];
    if (selection.max_select == 1) {
        if (hl_dorv_next_row(selection.hdl, row, sizeof row) == 0) plat_list_add(dialog, row);
        debug_print("\nListDlgProc: call fill_list end ok");
        return true;
    }
    if (selection.max_select < 0) return true; // no row may be taken: none is read
    int status = hl_dorv_next_row(selection.hdl, row, sizeof row);
    while (status == 0) {
        // At the limit the remaining rows are not asked for.
        if (selection.max_select != 0 && plat_list_count(dialog) >= selection.max_select) break;
        plat_list_add(dialog, row);
        status = hl_dorv_next_row(selection.hdl, row, sizeof row);
    }
    if (status == 0 || status == DORV_EOF) return true;
    hl_dorv_explain(selection.hdl, nullptr, 0, EXPLAIN_IN_LIBRARY);
    return false;
}

void set_list_font(PlatWindow dialog, const char* text) {
    ListFontText parsed;
    parse_list_font(text, &parsed);
    PlatListFont font;
    font.height = parsed.height;
    font.width = parsed.width;
    memcpy(font.face, parsed.face, sizeof font.face);
    if (plat_list_set_font(dialog, &font) != 0)
        debug_print("\nFont: Name= [%s], Width=%4d, Height= %4d", font.face, font.width,
                    font.height);
}

// With count 0 only the no-entries message; otherwise the configured texts,
// the status line, the font and the size, and the too-many message when the
// limit was reached.
void layout_list_dialog(PlatWindow dialog, int count) {
    if (count == 0) {
        show_message("MsgNoEntries", "No entries qualified");
        return;
    }
    char value[SELECT_TEXT_SIZE];
    if (configured()) {
        if (read_key("DlgOK", value)) plat_list_set_item_text(dialog, LIST_ID_OK, value);
        if (read_key("DlgCancel", value)) plat_list_set_item_text(dialog, LIST_ID_CANCEL, value);
    }
    char status_format[SELECT_TEXT_SIZE];
    if (!configured() || !read_key("DlgStatusText", status_format))
        memcpy(status_format, "%d Entries qualified", sizeof "%d Entries qualified");
    char* text = selection.connection->text;
    format_status_text(status_format, count, text, sizeof selection.connection->text);
    plat_list_set_item_text(dialog, LIST_ID_STATUS, text);

    set_list_font(dialog, read_key("DlgFont", value) ? value : "13, Courier");

    int screen_width, screen_height;
    plat_screen_size(&screen_width, &screen_height);
    int width = clamp_dialog_extent(read_key("DlgWidth", value) ? value : "", screen_width,
                                    LIST_MIN_TRACK_WIDTH);
    int height = clamp_dialog_extent(read_key("DlgHeight", value) ? value : "", screen_height,
                                     LIST_MIN_TRACK_HEIGHT);
    plat_list_first_layout(dialog, width, height);

    if (count == selection.max_select)
        show_message(
            "MsgTooMuch",
            "More than the declared number of entries qualified.\nPlease restrict your selection");
}

// Takes entry `index`: its key goes to the caller's keyfield.
void take_entry(void*, PlatWindow dialog, int index) {
    char* text = selection.connection->text;
    plat_list_text(dialog, index, text,
                   sizeof selection.connection->text); // "" if it cannot be had
    cut_key(text, selection.key_offset, selection.keylen, selection.keyfield);
}

// WM_INITDIALOG: all rows are read before anything is shown; no row, one row
// and a read failure end the dialog at once.
bool init_list_dialog(void*, PlatWindow dialog) {
    debug_print("\nListDlgProc: WM_INITDIALOG Start");
    if (!fill_list(dialog)) {
        plat_list_end(dialog, -1);
        return false;
    }
    unsigned short count = static_cast<unsigned short>(plat_list_count(dialog));
    if (count == 0) {
        if (selection.max_select > 1) layout_list_dialog(dialog, 0);
        plat_list_end(dialog, 0);
        return false;
    }
    if (count == 1) {
        take_entry(nullptr, dialog, 0);
        plat_list_end(dialog, 1);
        return false;
    }
    ctl3d_register(dialog);
    ctl3d_subclass_dlg(dialog, CTL3D_ALL);
    layout_list_dialog(dialog, count);
    plat_list_ready(dialog);
    debug_print("\nListDlgProc: WM_INITDIALOG End");
    return true;
}

bool check_arguments(const char* keyfield, int keylen) {
    if (keyfield == nullptr) {
        error_box("Invalid argument (hl_dorv_select_entry):\n keyfield = NULL");
        return false;
    }
    if (strnlen(keyfield, SELECT_TEXT_SIZE) == SELECT_TEXT_SIZE) {
        error_box(
            "Invalid argument (hl_dorv_select_entry):\n keyfield is not terminated within %d bytes",
            static_cast<int>(SELECT_TEXT_SIZE));
        return false;
    }
    if (keylen < 0) {
        error_box("Invalid argument (hl_dorv_select_entry):\n keylen = %d", keylen);
        return false;
    }
    return true;
}

} // namespace

extern "C" int DORV_CALL hl_dorv_select_entry(int hdl, char* keyfield, int keylen, int max_select) {
    ExportCall call(hdl);
    ConnectionRecord* connection = call.record();
    if (connection == nullptr) return -1;
    if (select_busy.exchange(1) == 1) {
        // The running selection keeps its connection and arguments.
        error_box("hl_dorv_select_entry() is not reentrant");
        return -1;
    }
    if (!check_arguments(keyfield, keylen)) {
        select_busy = 0;
        return -1;
    }
    selection = Selection{connection, hdl, keyfield, keylen, max_select, 0};

    char line[SELECT_TEXT_SIZE];
    if (hl_dorv_hdr_ln(hdl, SELECT_HEADER_CODE, line, sizeof line) == DORV_NO_STATUS)
        line[0] = '\0'; // no header line
    selection.key_offset = key_offset_in_header(line, keyfield, keylen);

    debug_print("\nhl_dorv_select_entry: before call ListDlgProc");
    PlatListDialogCalls calls{};
    calls.init = init_list_dialog;
    calls.take = take_entry;
    calls.services = &dialog_services;
    int result = -1;
    if (!plat_list_dialog_run(library_instance, &calls, &result)) {
        error_box("Unable to create the entry selection dialog\nWinErrno=%lu", plat_last_error());
        result = -1;
    }
    debug_print("\nhl_dorv_select_entry: after  call ListDlgProc");
    select_busy = 0;
    return result;
}
