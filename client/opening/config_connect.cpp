// hl_connect_ini, hl_set_inifile and the opening of configured databases.
#include "client/opening/config_connect.h"

#include "client/connection/config_file.h"
#include "client/connection/connect.h"
#include "client/connection/database_cache.h"
#include "client/connection/export_call.h"
#include "client/connection/password_entry.h"
#include "client/connection/read_ahead_setting.h"
#include "client/include/dorv32.h"
#include "client/protocol/message_layer.h"

#include <stdio.h>
#include <string.h>

namespace {

const char open_statement[] = "OPEN DATABASE ";
const int OPEN_STATEMENT_LENGTH = static_cast<int>(sizeof open_statement) - 1;
// A database adds at most its name, its password and these 10 characters:
// below the limit the statement and its terminator stay inside the
// connection's text buffer.
const int OPEN_LIMIT = static_cast<int>(sizeof ConnectionRecord::text - (sizeof "'' AS '', " - 1));

// A database in the statement being built: where its name and password
// stand in the statement, and whether the password came from the cache.
struct StatedDatabase {
    int name_at, name_length;
    int password_at, password_length;
    bool cached;
};

// Every element adds at least a quoted name of one character and ", ", and
// none is added once the statement has reached OPEN_LIMIT.
const int MIN_ELEMENT = static_cast<int>(sizeof "'x', " - 1);
const int MAX_STATED = (OPEN_LIMIT - OPEN_STATEMENT_LENGTH) / MIN_ELEMENT + 1;

// The statement being built and the databases it names, in order.
struct Opening {
    char statement[sizeof ConnectionRecord::text];
    StatedDatabase stated[MAX_STATED];
    int count;
};

void copy_span(char* to, const char* from, int length) {
    memcpy(to, from, static_cast<size_t>(length));
    to[length] = '\0';
}

// The database of this name that the statement names already, or nullptr.
const StatedDatabase* find_stated(const Opening& opening, const char* name) {
    size_t length = strlen(name);
    for (int i = 0; i < opening.count; ++i) {
        const StatedDatabase& d = opening.stated[i];
        if (static_cast<size_t>(d.name_length) == length &&
            memcmp(opening.statement + d.name_at, name, length) == 0)
            return &d;
    }
    return nullptr;
}

// Obtains the password of a database: from this statement when it names the
// database already, from the cache, or from the configuration (asking the
// user when it begins with '*'). Nothing is cached yet: that waits for the
// server's answer. 0 with the password in `password`; -1 after a failure or a
// Cancel.
int obtain_password(ConnectionRecord* record, const char* filename, const char* section,
                    const char* name, const Opening& opening, char* password, bool* cached) {
    if (const StatedDatabase* stated = find_stated(opening, name)) {
        copy_span(password, opening.statement + stated->password_at, stated->password_length);
        *cached = stated->cached;
        return 0;
    }
    *cached = copy_cached_password(name, password);
    if (*cached) return 0;
    read_config_text(filename, section, "Password", password);
    debug_print("   read password: [%s]\n", masked_password(password));
    if (password[0] == '*') {
        if (password_dialog_busy.exchange(1) == 1) {
            error_box("Password dialog is not reentrant");
            return -1;
        }
        copy_cut(password_exchange.db_name, name);
        copy_cut(password_exchange.db_pswd, password);
        int answer = run_password_dialog(record);
        copy_cut(password, password_exchange.db_pswd);
        password_dialog_busy = 0;
        if (answer != 1) return -1;
        debug_print("   edit password: [%s]\n", masked_password(password));
    }
    return 0;
}

// After the server's answer: an accepted opening caches the passwords that
// did not come from the cache; a refused one forgets those that did, so that
// they are obtained afresh the next time.
void settle_passwords(const Opening& opening, int status) {
    debug_print("\nOPEN DATABASE:  status: [%d]\n", status);
    const bool accepted = status <= 0;
    for (int i = 0; i < opening.count; ++i) {
        const StatedDatabase& d = opening.stated[i];
        if (d.cached == accepted) continue;
        char name[INI_TEXT_SIZE], password[INI_TEXT_SIZE];
        copy_span(name, opening.statement + d.name_at, d.name_length);
        copy_span(password, opening.statement + d.password_at, d.password_length);
        if (!accepted) {
            if (forget_cached_password(name, password))
                debug_print("   forgotten password of: [%s]\n", name);
        } else if (int count = cache_new_password(name, password)) {
            debug_print("   database list entry: %d\n   db_name: [%s]\n   db_pswd: [%s]\n \n",
                        count, name, masked_password(password));
        }
    }
}

// The record of a connection, when it is still open; shown when it is gone.
ConnectionRecord* find_open_connection(int handle) {
    CallReport call;
    return find_connection_record(handle, &call.report);
}

} // namespace

const char* masked_password(const char* password) {
    // A fixed mask tells whether there is a password, not how long it is.
    return password[0] != '\0' ? "********" : "";
}

int open_databases(ConnectionRecord* record, const char* filename, const char* list) {
    debug_print("\nOPEN DATABASE:  section: [%s]\n", list);
    // The dialog's message loop may let other calls into the library: they
    // may close the connection and use its text buffer. So the statement
    // grows here and the record is looked up again after every dialog.
    const int handle = record->socket;
    Opening opening;
    opening.count = 0;
    char* statement = opening.statement;
    memcpy(statement, open_statement, OPEN_STATEMENT_LENGTH);
    int position = OPEN_STATEMENT_LENGTH;
    const char* element = list;
    while (*element != '\0') {
        size_t length = strcspn(element, ",;");
        char section[INI_TEXT_SIZE];
        size_t kept = length < INI_TEXT_SIZE - 1 ? length : INI_TEXT_SIZE - 1;
        memcpy(section, element, kept);
        section[kept] = '\0';
        element += length;
        if (*element != '\0') ++element; // the separator ends this element

        char name[INI_TEXT_SIZE];
        read_config_text(filename, section, "Database", name);
        if (name[0] == '\0') {
            error_box("Missing database name");
            return -1;
        }
        debug_print("   database name: [%s]\n", name);
        record = find_open_connection(handle);
        if (record == nullptr) return -1;
        char password[INI_TEXT_SIZE];
        bool cached = false;
        if (obtain_password(record, filename, section, name, opening, password, &cached) != 0)
            return -1;
        const int name_length = static_cast<int>(strlen(name));
        const int password_length = static_cast<int>(strlen(password));
        if (position + name_length + password_length >= OPEN_LIMIT) {
            error_box("Not enough memory to open all databases");
            return -1;
        }
        char* at = statement + position;
        size_t room = sizeof opening.statement - static_cast<size_t>(position);
        int written = password[0] != '\0' ? snprintf(at, room, "'%s' AS '%s', ", name, password)
                                          : snprintf(at, room, "'%s', ", name);
        // 'name' AS 'password': the name behind the first quote, the password behind "' AS '".
        opening.stated[opening.count++] = {position + 1, name_length,
                                           position + 1 + name_length + 6, password_length, cached};
        position += written;
    }
    if (position == OPEN_STATEMENT_LENGTH) {
        // An empty list names no database at all.
        error_box("Missing database name");
        return -1;
    }
    statement[position - 2] = '\0';
    memcpy(record->text, statement, static_cast<size_t>(position - 1));
    int status = hl_dorv_exec(handle, record->text);
    settle_passwords(opening, status);
    if (status <= 0) return 0;
    // A connection lost on the way has been reported; there is nobody to explain.
    if (!connection_is_broken(handle)) hl_dorv_explain(handle, nullptr, 0, EXPLAIN_IN_LIBRARY);
    return status;
}

extern "C" int DORV_CALL hl_connect_ini(const char* filename, const char* section, int debug,
                                        int dbopen) {
    const char* file = filename != nullptr ? filename : "";
    const char* own_section = section != nullptr ? section : "";
    char transport[INI_TEXT_SIZE] = "", server[INI_TEXT_SIZE] = "", service[INI_TEXT_SIZE] = "";
    if (file[0] != '\0') {
        read_config_text(file, own_section, "Transport", transport);
        read_config_text(file, own_section, "Server", server);
        read_config_text(file, own_section, "Service", service);
    }
    if (transport[0] == '\0' || server[0] == '\0' || service[0] == '\0') {
        error_box("Missing configuration data\nPlease check file %s, section %s", file,
                  own_section);
        return -1;
    }
    debug_print("\nHL_CONNECT_INI: \n   ini-file: [%s]\n   section: [%s]\n", file, own_section);
    debug_print("   transport: [%s]\n   server: [%s]\n   service: [%s]\n", transport, server,
                service);
    ConnectionRecord* record;
    {
        CallReport call;
        record = connect_with_timeouts(transport, server, service, debug,
                                       configured_timeouts(file, own_section),
                                       configured_read_ahead(file, own_section), &call.report);
    }
    if (record == nullptr) return -1;
    const int handle = record->socket;
    copy_cut(record->ini_file, file);
    copy_cut(record->ini_section, own_section);
    if (dbopen == 0) return handle;

    char list[INI_TEXT_SIZE];
    read_config_text(file, own_section, "DBopen", list);
    if (open_databases(record, file, list[0] != '\0' ? list : own_section) == 0) return handle;
    hl_disconnect(handle);
    return -1;
}

extern "C" int DORV_CALL hl_set_inifile(int handle, const char* filename, const char* section) {
    ExportCall call(handle);
    ConnectionRecord* record = call.record();
    if (record == nullptr) return -1;
    copy_cut(record->ini_file, filename);
    copy_cut(record->ini_section, section);
    return 0;
}
