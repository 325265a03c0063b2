// The entry selection dialog without windows: the dialog's content is kept
// here, sorted as the list box sorts it, and the installed answerer makes the
// pick as the user would.
#include "platform/list_dialog.h"
#include "platform/posix/terminal_dialogs.h"

#include <stdio.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct PosixListDialog {
    std::vector<std::string> rows;
    std::string status = "%d entries qualified"; // the template's texts
    std::string ok_text = "OK";
    std::string cancel_text = "Cancel";
    PlatListFont font = {0, 0, "System"};
    int width = 0, height = 0;
    int selected = -1;
    bool ended = false;
    int result = 0;
};

PlatListAnswerer answerer = nullptr;
void* answerer_context = nullptr;

PosixListDialog* dialog_of(PlatWindow dialog) {
    return static_cast<PosixListDialog*>(dialog);
}

// The list box's order: case-insensitive; a new row goes before equal ones.
bool sorts_before(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

} // namespace

void plat_set_list_answerer(PlatListAnswerer a, void* context) {
    answerer = a;
    answerer_context = context;
}

bool plat_list_dialog_run(PlatInstance, const PlatListDialogCalls* calls, int* result) {
    PosixListDialog d;
    calls->init(calls->context, &d);
    if (!d.ended) {
        std::vector<const char*> rows(d.rows.size());
        std::transform(d.rows.begin(), d.rows.end(), rows.begin(),
                       [](const std::string& r) { return r.c_str(); });
        PlatListView view{"Please select an entry",
                          rows.data(),
                          static_cast<int>(rows.size()),
                          d.selected,
                          d.status.c_str(),
                          d.ok_text.c_str(),
                          d.cancel_text.c_str(),
                          d.font,
                          d.width,
                          d.height};
        PlatListAnswerer ask = answerer;
        if (ask == nullptr && terminal_dialogs_wanted()) ask = terminal_list_answerer;
        int pick = ask != nullptr ? ask(&view, answerer_context) : -1;
        if (pick >= 0 && pick < static_cast<int>(d.rows.size())) {
            d.selected = pick;
            calls->take(calls->context, &d, pick);
            d.result = 1;
        } else {
            if (ask == nullptr) fputs("Please select an entry: no answerer, cancelled\n", stderr);
            d.result = 0;
        }
        calls->services->unregister_3d(&d);
    }
    *result = d.result;
    return true;
}

void plat_list_end(PlatWindow dialog, int result) {
    dialog_of(dialog)->ended = true;
    dialog_of(dialog)->result = result;
}

void plat_list_add(PlatWindow dialog, const char* row) {
    auto& rows = dialog_of(dialog)->rows;
    std::string text(row);
    rows.insert(std::lower_bound(rows.begin(), rows.end(), text, sorts_before), text);
}

int plat_list_count(PlatWindow dialog) {
    return static_cast<int>(dialog_of(dialog)->rows.size());
}

int plat_list_text(PlatWindow dialog, int index, char* buffer, int size) {
    if (size < 1) return -1;
    buffer[0] = '\0';
    const auto& rows = dialog_of(dialog)->rows;
    if (index < 0 || index >= static_cast<int>(rows.size())) return -1;
    const std::string& text = rows[static_cast<size_t>(index)];
    if (text.size() >= static_cast<size_t>(size)) return -1;
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<int>(text.size());
}

void plat_list_set_item_text(PlatWindow dialog, int id, const char* text) {
    PosixListDialog* d = dialog_of(dialog);
    if (id == LIST_ID_OK)
        d->ok_text = text;
    else if (id == LIST_ID_CANCEL)
        d->cancel_text = text;
    else if (id == LIST_ID_STATUS)
        d->status = text;
}

int plat_list_set_font(PlatWindow dialog, const PlatListFont* font) {
    PlatListFont& f = dialog_of(dialog)->font;
    f.height = font->height;
    f.width = font->width;
    snprintf(f.face, sizeof f.face, "%s", font->face);
    return 1;
}

void plat_list_first_layout(PlatWindow dialog, int width, int height) {
    dialog_of(dialog)->width = width;
    dialog_of(dialog)->height = height;
}

void plat_list_ready(PlatWindow dialog) {
    PosixListDialog* d = dialog_of(dialog);
    d->selected = d->rows.empty() ? -1 : 0;
}
