#include "client/connection/password_entry.h"

#include "client/connection/config_file.h"
#include "client/connection/dialog_support.h"
#include "common/diagnostics.h"
#include "platform/password_dialog.h"

PasswordExchange password_exchange;
std::atomic<int> password_dialog_busy{0};

namespace {

// A configured text, or nullptr when none is found.
const char* configured(const ConnectionRecord* record, const char* key, char* value) {
    return read_config_text(record->ini_file, record->ini_section, key, value) ? value : nullptr;
}

} // namespace

int run_password_dialog(const ConnectionRecord* record) {
    char name_label[INI_TEXT_SIZE], password_label[INI_TEXT_SIZE], ok_text[INI_TEXT_SIZE],
        cancel_text[INI_TEXT_SIZE];
    PlatPasswordDialog dialog = {password_exchange.db_name,
                                 password_exchange.db_pswd,
                                 static_cast<int>(sizeof password_exchange.db_pswd),
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 &dialog_services};
    if (record->ini_file[0] != '\0' && record->ini_section[0] != '\0') {
        dialog.name_label = configured(record, "PswdText1", name_label);
        dialog.password_label = configured(record, "PswdText2", password_label);
        dialog.ok_text = configured(record, "PswdOK", ok_text);
        dialog.cancel_text = configured(record, "PswdCancel", cancel_text);
    }
    int result = plat_password_dialog(library_instance, &dialog);
    if (result == -1) error_box("Unable to open the password dialog");
    return result;
}
