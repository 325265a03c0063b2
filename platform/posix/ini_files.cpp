// Our own reader of initialisation files with the Win32 semantics callers rely
// on: case-insensitive sections and keys, values trimmed (and unquoted), the
// default when absent, output cut to the buffer, bare names in one known folder.
#include "platform/platform.h"

#include <ctype.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

void resolve_path(const char* file, char* path, size_t size) {
    if (strchr(file, '/') != nullptr) {
        snprintf(path, size, "%s", file);
        return;
    }
    const char* dir = getenv("DORV_INI_DIR");
    snprintf(path, size, "%s/%s", dir != nullptr && *dir != '\0' ? dir : ".", file);
}

// Trims blanks and tabs in place; returns the start.
char* trim(char* text) {
    while (*text == ' ' || *text == '\t')
        ++text;
    char* end = text + strlen(text);
    while (end > text && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r' || end[-1] == '\n'))
        --end;
    *end = '\0';
    return text;
}

int store(const char* value, char* buffer, int size) {
    size_t n = strlen(value);
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    memcpy(buffer, value, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// Finds the key's value; true when present. `value` receives the trimmed text.
// The names asked for are trimmed like the names in the file, as Windows does: a
// list element " secret" (from "DBopen=sample, secret") names section [secret].
bool lookup(const char* section_asked, const char* key_asked, const char* file, char* value,
            size_t size) {
    char section_name[1024], key_name[1024];
    snprintf(section_name, sizeof section_name, "%s", section_asked);
    snprintf(key_name, sizeof key_name, "%s", key_asked);
    const char* section = trim(section_name);
    const char* key = trim(key_name);
    char path[1024];
    resolve_path(file, path, sizeof path);
    FILE* in = fopen(path, "r");
    if (in == nullptr) return false;
    char line[4096];
    bool in_section = false;
    bool found = false;
    while (!found && fgets(line, sizeof line, in) != nullptr) {
        size_t len = strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            // Over-long line: skip the rest of it.
            int c;
            while ((c = fgetc(in)) != EOF && c != '\n') {
            }
        }
        char* text = trim(line);
        if (*text == ';' || *text == '\0') continue;
        if (*text == '[') {
            char* close = strchr(text, ']');
            if (close == nullptr) continue;
            *close = '\0';
            // Only the first section of a name counts, as on Windows.
            if (in_section) break;
            in_section = strcasecmp(trim(text + 1), section) == 0;
            continue;
        }
        if (!in_section) continue;
        char* equals = strchr(text, '=');
        if (equals == nullptr) continue;
        *equals = '\0';
        if (strcasecmp(trim(text), key) != 0) continue;
        char* v = trim(equals + 1);
        size_t n = strlen(v);
        // A value in matching quotes loses them, as Windows does.
        if (n >= 2 && (v[0] == '"' || v[0] == '\'') && v[n - 1] == v[0]) {
            v[n - 1] = '\0';
            ++v;
        }
        snprintf(value, size, "%s", v);
        found = true;
    }
    fclose(in);
    return found;
}

} // namespace

int plat_ini_string(const char* section, const char* key, const char* deflt, char* buffer, int size,
                    const char* file) {
    if (size < 1) return 0;
    char value[4096];
    if (section != nullptr && key != nullptr && file != nullptr &&
        lookup(section, key, file, value, sizeof value))
        return store(value, buffer, size);
    char fallback[4096];
    snprintf(fallback, sizeof fallback, "%s", deflt != nullptr ? deflt : "");
    return store(trim(fallback), buffer, size);
}

unsigned plat_ini_int(const char* section, const char* key, int deflt, const char* file) {
    char value[4096];
    if (!lookup(section, key, file, value, sizeof value)) return static_cast<unsigned>(deflt);
    long v = strtol(value, nullptr, 10);
    return v < 0 ? 0u : static_cast<unsigned>(v);
}

int plat_profile_string(const char* section, const char* key, const char* deflt, char* buffer,
                        int size) {
    if (size < 1) return 0;
    if (strcasecmp(section, "intl") == 0 && strcasecmp(key, "sDecimal") == 0) {
        const char* point = localeconv()->decimal_point;
        return store(point != nullptr && *point != '\0' ? point : ".", buffer, size);
    }
    return store(deflt != nullptr ? deflt : "", buffer, size);
}
