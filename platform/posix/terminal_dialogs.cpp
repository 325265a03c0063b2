#include "platform/posix/terminal_dialogs.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "platform/utf8.h"
#include "platform/windows_ansi.h"

namespace {

// Reads one line from the terminal; false at its end.
bool read_line(FILE* tty, char* line, int size) {
    if (fgets(line, size, tty) == nullptr) return false;
    line[strcspn(line, "\r\n")] = '\0';
    return true;
}

// Texts of the library are Windows ANSI; the terminal speaks UTF-8.
void print_ansi(FILE* tty, const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
        utf8::append(out, windows_ansi::to_unicode(*p));
    fputs(out.c_str(), tty);
}

// A typed UTF-8 line back to Windows ANSI, in place: a character the code
// page lacks becomes '?', and so does a malformed sequence as a whole.
void utf8_to_ansi(char* text) {
    const std::string_view line(text);
    char* out = text;
    for (size_t pos = 0; pos < line.size();) {
        char32_t cp = 0;
        size_t consumed = 0;
        if (utf8::decode_one(line.substr(pos), cp, consumed) == utf8::Decode::complete) {
            const int byte = windows_ansi::from_unicode(cp);
            *out++ = static_cast<char>(byte < 0 ? '?' : byte);
            pos += consumed;
            continue;
        }
        *out++ = '?';
        ++pos;
        while (pos < line.size() && (static_cast<unsigned char>(line[pos]) & 0xC0) == 0x80)
            ++pos;
    }
    *out = '\0';
}

// The label without its '&' accelerator mark.
void print_label(FILE* tty, const char* label) {
    for (const char* p = label; *p != '\0'; ++p)
        if (*p != '&') fputc(*p, tty);
}

} // namespace

bool terminal_dialogs_wanted() {
    const char* wanted = getenv("DORV_DIALOGS");
    return wanted != nullptr && strcmp(wanted, "terminal") == 0;
}

int terminal_password_answerer(const PlatPasswordPrompt* prompt, char* input, int size, void*) {
    FILE* tty = fopen("/dev/tty", "r+");
    if (tty == nullptr) {
        // Said, so that the failed connect that follows is understood.
        fprintf(stderr, "database %s needs a password and there is no terminal to ask for it\n",
                prompt->database);
        fflush(stderr);
        return 0;
    }
    fprintf(tty, "%s\n", prompt->caption);
    print_label(tty, prompt->name_label);
    fputc(' ', tty);
    print_ansi(tty, prompt->database);
    fputc('\n', tty);
    print_label(tty, prompt->password_label);
    fputc(' ', tty);
    fflush(tty);
    termios saved;
    bool quiet = tcgetattr(fileno(tty), &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(fileno(tty), TCSAFLUSH, &silent);
    }
    bool entered = read_line(tty, input, size);
    if (entered) utf8_to_ansi(input);
    if (quiet) tcsetattr(fileno(tty), TCSAFLUSH, &saved);
    fputc('\n', tty);
    fclose(tty);
    return entered ? 1 : 0;
}

int terminal_list_answerer(const PlatListView* view, void*) {
    FILE* tty = fopen("/dev/tty", "r+");
    if (tty == nullptr) {
        fprintf(stderr, "there is no terminal to pick an entry on\n");
        fflush(stderr);
        return -1;
    }
    fprintf(tty, "%s\n", view->caption);
    for (int i = 0; i < view->count; ++i) {
        fprintf(tty, "%4d  ", i + 1);
        print_ansi(tty, view->rows[i]);
        fputc('\n', tty);
    }
    print_ansi(tty, view->status);
    fputc('\n', tty);
    int pick = -1;
    for (;;) {
        fprintf(tty, "Entry 1-%d (Enter: %d, 0: %s): ", view->count, view->selected + 1,
                view->cancel_text);
        fflush(tty);
        char line[64];
        if (!read_line(tty, line, sizeof line)) break;
        if (line[0] == '\0') {
            pick = view->selected;
            break;
        }
        char* end = nullptr;
        long n = strtol(line, &end, 10);
        if (end != line && *end == '\0' && n >= 0 && n <= view->count) {
            pick = static_cast<int>(n) - 1;
            break;
        }
    }
    fclose(tty);
    return pick;
}
