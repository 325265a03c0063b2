#include "commands.h"

#include "encoding.h"
#include "interrupt.h"
#include "messages.h"
#include "output.h"

#include "dorv32.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Rows written so far, on the terminal (never in the output) while a result has
// been read for more than a second. Not when the rows themselves go to the
// terminal: they show how far it has come, and the count would run into them.
class RowProgress {
  public:
    RowProgress() : on_terminal_(said_on_terminal() && !output_on_terminal()) {}
    ~RowProgress() { progress_clear(); }
    RowProgress(const RowProgress&) = delete;
    RowProgress& operator=(const RowProgress&) = delete;
    void row() {
        ++rows_;
        if (!on_terminal_) return;
        auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - shown_ < std::chrono::milliseconds(200))
            return;
        shown_ = now;
        progress_show("dorv: " + std::to_string(rows_) + " rows");
    }

  private:
    using Clock = std::chrono::steady_clock;
    const bool on_terminal_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point shown_ = start_;
    long rows_ = 0;
};

// Said once per run: characters that the server's character set lacks go as blanks.
void warn_of_lost_characters(const std::string& ansi) {
    static bool warned = false;
    if (warned) return;
    std::string lost = roman8_lacks(ansi);
    if (lost.empty()) return;
    warned = true;
    say("the server's character set, HP Roman-8, has no " + named_characters(lost) +
        ": sent as blanks");
}

// The server's explanation of a failed status, on standard error.
void explain(int handle) {
    char text[1024];
    if (hl_dorv_explain(handle, text, sizeof text, 0) != DORV_NO_STATUS)
        say(ansi_to_terminal(text));
}

// Executes a statement list; true when the server accepted it (status 0 or below).
bool execute(int handle, const std::string& statements) {
    std::string ansi = terminal_to_ansi(statements);
    warn_of_lost_characters(ansi);
    std::vector<char> text(ansi.begin(), ansi.end());
    text.push_back('\0');
    int status = hl_dorv_exec(handle, text.data());
    if (status > 0) {
        if (status != DORV_NO_STATUS) explain(handle);
        return false;
    }
    return true;
}

bool print_table(int handle, bool no_header) {
    char line[1024];
    int status = hl_dorv_hdr_ln(handle, 2, line, sizeof line);
    if (status != 0) {
        if (status == DORV_EOF) return true; // no result: nothing to print
        if (status != DORV_NO_STATUS) explain(handle);
        return false;
    }
    if (!no_header) printf("%s\n%s\n", ansi_to_terminal(line).c_str(), rule_for(line).c_str());
    int rows = 0;
    RowProgress progress;
    while ((status = hl_dorv_next_row(handle, line, sizeof line)) == 0) {
        printf("%s\n", ansi_to_terminal(line).c_str());
        ++rows;
        progress.row();
        if (interrupted()) return false; // after a whole row
    }
    if (status != DORV_EOF) {
        if (status != DORV_NO_STATUS) explain(handle);
        return false;
    }
    if (!no_header) printf("(%d row%s)\n", rows, rows == 1 ? "" : "s");
    return true;
}

// Header and rows field by field: as CSV, or as typed values.
bool print_values(int handle, bool csv, bool no_header) {
    int status = hl_dorv_hdr_val(handle);
    bool header = true;
    RowProgress progress;
    while (status == 0) {
        std::string out;
        char field[1024];
        int n = 0;
        while ((status = hl_dorv_tfield(handle, field, sizeof field)) != DORV_EOF) {
            if (status != 0) {
                if (status != DORV_NO_STATUS) explain(handle);
                return false;
            }
            std::string text = field;
            if (n++ > 0) out += csv ? "," : "  ";
            if (csv)
                out += csv_value(text);
            else
                out += header ? text.substr(text.empty() ? 0 : 1) : typed_value(text);
        }
        if (!(header && no_header)) printf("%s\n", ansi_to_terminal(out).c_str());
        if (!header) progress.row();
        header = false;
        if (interrupted()) return false; // after a whole record
        status = hl_dorv_next_val(handle);
    }
    if (status != DORV_EOF) {
        if (status != DORV_NO_STATUS) explain(handle);
        return false;
    }
    return true;
}

bool run_host(int handle, const std::string& command, bool by_blocks) {
    std::string ansi = terminal_to_ansi(command);
    warn_of_lost_characters(ansi);
    if (hl_uxcmd(handle, ansi.c_str()) != 0) return false;
    if (by_blocks) {
        char block[1024];
        int n = 0;
        while (!interrupted() && (n = hl_fetch_blk(handle, block, sizeof block)) > 0)
            fwrite(block, 1, static_cast<size_t>(n), stdout);
        return !interrupted() && n == 0;
    }
    char line[1024];
    int n = 0;
    while (!interrupted() && (n = hl_fetch_ln(handle, line, sizeof line)) > 0)
        fputs(ansi_to_terminal(line).c_str(), stdout);
    return !interrupted() && n == 0;
}

bool run_pick(int handle, const Command& command) {
    if (!execute(handle, command.argument)) return false;
    char key[256] = {};
    snprintf(key, sizeof key, "%s", terminal_to_ansi(command.keyfield).c_str());
    int result = hl_dorv_select_entry(handle, key, command.keylen, command.max_select);
    if (result < 0) return false;
    if (result == 0) {
        printf("No entry qualified\n");
        return true;
    }
    printf("%s\n", ansi_to_terminal(key).c_str());
    return true;
}

} // namespace

bool run_command(int handle, const Command& command, const Options& options) {
    const std::string& name = command.name;
    const bool bare = options.no_header;
    if (name == "exec") return execute(handle, command.argument);
    if (name == "query") return execute(handle, command.argument) && print_table(handle, bare);
    if (name == "values")
        return execute(handle, command.argument) && print_values(handle, false, bare);
    if (name == "csv") return execute(handle, command.argument) && print_values(handle, true, bare);
    if (name == "pick") return run_pick(handle, command);
    if (name == "echo") {
        if (hl_echo(handle, command.argument.c_str()) != 0) return false;
        printf("echo ok: %s\n", command.argument.c_str());
        return true;
    }
    if (name == "version") {
        char text[1019];
        if (hl_dorv_version(handle, text) != 0) return false;
        printf("%s\n", text);
        return true;
    }
    if (name == "host") return run_host(handle, command.argument, false);
    if (name == "hostblk") return run_host(handle, command.argument, true);
    say("unknown command " + name);
    return false;
}
