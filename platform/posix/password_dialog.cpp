// The password dialog without windows: the answerer sees what template 101
// would show and answers for the user. It runs through the same steps as the
// Win32 dialog (3-D controls, centring, the field's 16-character limit).
#include "platform/password_dialog.h"
#include "platform/posix/terminal_dialogs.h"

#include <string.h>

namespace {

PlatPasswordAnswerer answerer = nullptr;
void* answerer_context = nullptr;

// The texts of template 101.
const char* const template_caption = "Input Password";
const char* const template_name_label = "&Datenbank Name:";
const char* const template_password_label = "&Password:";
const char* const template_ok = "OK";
const char* const template_cancel = "Cancel";

// Stands in for the dialog's window handle in the calls to the services.
struct StandInWindow {
    const PlatPasswordDialog* dialog;
};

} // namespace

void plat_set_password_answerer(PlatPasswordAnswerer new_answerer, void* context) {
    answerer = new_answerer;
    answerer_context = context;
}

int plat_password_dialog(PlatInstance, const PlatPasswordDialog* dialog) {
    PlatPasswordAnswerer ask = answerer;
    if (ask == nullptr && terminal_dialogs_wanted()) ask = terminal_password_answerer;
    if (ask == nullptr || dialog == nullptr || dialog->password == nullptr ||
        dialog->password_size < 1)
        return -1;
    StandInWindow stand_in = {dialog};
    PlatWindow window = &stand_in;
    const PlatDialogServices* services = dialog->services;
    if (services != nullptr) {
        services->register_3d(window);
        services->subclass_3d(window, 0xFFFF);
        services->center(window, 0, 0);
    }
    PlatPasswordPrompt prompt = {
        template_caption,
        dialog->name_label != nullptr ? dialog->name_label : template_name_label,
        dialog->database != nullptr ? dialog->database : "",
        dialog->password_label != nullptr ? dialog->password_label : template_password_label,
        dialog->ok_text != nullptr ? dialog->ok_text : template_ok,
        dialog->cancel_text != nullptr ? dialog->cancel_text : template_cancel,
        PLAT_PSWD_MAX_INPUT,
    };
    char input[256] = "";
    int answer = ask(&prompt, input, static_cast<int>(sizeof input), answerer_context);
    input[sizeof input - 1] = '\0';
    if (answer == 1) {
        // The field takes no more than its limit, and the caller's buffer no more than it holds.
        size_t n = strlen(input);
        if (n > static_cast<size_t>(PLAT_PSWD_MAX_INPUT)) n = PLAT_PSWD_MAX_INPUT;
        if (n > static_cast<size_t>(dialog->password_size - 1))
            n = static_cast<size_t>(dialog->password_size - 1);
        memcpy(dialog->password, input, n);
        dialog->password[n] = '\0';
    }
    if (services != nullptr) services->unregister_3d(window);
    return answer == 1 ? 1 : 0;
}
