#include "messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define read _read
#define fdopen _fdopen
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

// The captions of the library's boxes and what the program puts in their place.
struct Caption {
    const char* record_start;
    const char* said_as;
};
const Caption captions[] = {
    {"Dorv SERVER: ", "server: "},
    {"Dorv Error: ", ""},
    {"Explain Dorv - Message: ", ""},
    {"DORV.DLL: ", ""},
    {"Dorv: ", ""},
};

const Caption* caption_of(const std::string& line) {
    for (const Caption& c : captions)
        if (line.compare(0, strlen(c.record_start), c.record_start) == 0) return &c;
    return nullptr;
}

// Socket errors that mean the peer has gone: aborted, reset, not connected, shut down.
bool names_lost_peer(const std::string& text) {
    for (const char* e : {"errno 10053", "errno 10054", "errno 10057", "errno 10058"})
        if (text.find(e) != std::string::npos) return true;
    return false;
}

// The library's text (caption removed) tells that the connection ended.
bool tells_closed(const std::string& text) {
    if (text.rfind("Inconsistent message:", 0) == 0) {
        // "read = R, size = S": the length itself incomplete, or fewer bytes than
        // announced, and no over-long block.
        int read = -1, size = -1;
        size_t at = text.find("read = ");
        if (at == std::string::npos ||
            sscanf(text.c_str() + at, "read = %d, size = %d", &read, &size) != 2)
            return false;
        return read < 2 || (read < size && read < 1024);
    }
    if (text.rfind("Receive failed.", 0) == 0 || text.rfind("Send failed.", 0) == 0)
        return names_lost_peer(text);
    return false;
}

// The library's text tells that the connection can no longer be used: a reply
// that did not come in time, a failed send or receive, or a call on a connection
// that is broken already.
bool tells_broken(const std::string& text) {
    for (const char* start : {"Timed out waiting for the server:", "Connection broken:",
                              "Receive failed.", "Send failed."})
        if (text.rfind(start, 0) == 0) return true;
    return false;
}

int original_fd = -1;
FILE* original = nullptr; // standard error as it was, while records are caught
int sink_fd = -1;
#ifndef _WIN32
FILE* sink_file = nullptr;
#endif
bool closed_seen = false;
bool broken_seen = false;

int open_sink() {
#ifdef _WIN32
    char folder[MAX_PATH], path[MAX_PATH];
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "dorv", 0, path) == 0)
        return -1;
    return _open(path, _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_TRUNC);
#else
    sink_file = tmpfile();
    return sink_file != nullptr ? fileno(sink_file) : -1;
#endif
}

void empty_sink() {
#ifdef _WIN32
    _chsize(sink_fd, 0);
    _lseek(sink_fd, 0, SEEK_SET);
#else
    if (ftruncate(sink_fd, 0) != 0) return;
    lseek(sink_fd, 0, SEEK_SET);
#endif
}

std::string read_sink() {
    std::string text;
#ifdef _WIN32
    _lseek(sink_fd, 0, SEEK_SET);
#else
    lseek(sink_fd, 0, SEEK_SET);
#endif
    char buffer[4096];
    int n;
    while ((n = static_cast<int>(read(sink_fd, buffer, sizeof buffer))) > 0)
        text.append(buffer, static_cast<size_t>(n));
    empty_sink();
    return text;
}

size_t progress_width = 0; // characters of the progress line now on the terminal

FILE* said_stream() {
    return original != nullptr ? original : stderr;
}

} // namespace

int said_fd() {
    return original != nullptr ? original_fd : 2;
}

bool said_on_terminal() {
    return isatty(said_fd()) != 0;
}

bool output_on_terminal() {
    return isatty(1) != 0;
}

void progress_show(const std::string& text) {
    FILE* to = said_stream();
    fprintf(to, "\r%s", text.c_str());
    // Blanks over the rest of a longer line before it.
    for (size_t i = text.size(); i < progress_width; ++i)
        fputc(' ', to);
    if (text.size() < progress_width) fprintf(to, "\r%s", text.c_str());
    if (text.size() > progress_width) progress_width = text.size();
    fflush(to);
}

void progress_clear() {
    if (progress_width == 0) return;
    FILE* to = said_stream();
    fputc('\r', to);
    for (size_t i = 0; i < progress_width; ++i)
        fputc(' ', to);
    fputc('\r', to);
    fflush(to);
    progress_width = 0;
}

std::string reword_library_messages(const std::string& caught, bool* closed, bool* broken) {
    // Lines, without carriage returns.
    std::vector<std::string> lines;
    std::string line;
    for (char c : caught) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);

    std::string out;
    for (size_t i = 0; i < lines.size();) {
        // A record: a caption line and the lines up to the next caption.
        const Caption* caption = caption_of(lines[i]);
        size_t end = i + 1;
        while (end < lines.size() && caption_of(lines[end]) == nullptr)
            ++end;
        if (caption == nullptr) end = i + 1; // a line of its own
        std::string text =
            caption != nullptr ? lines[i].substr(strlen(caption->record_start)) : lines[i];
        for (size_t k = i + 1; k < end; ++k)
            text += "\n" + lines[k];
        // Only the library's own boxes ("Dorv"), not a text that the server sent.
        if (caption != nullptr && strcmp(caption->record_start, "Dorv: ") == 0 &&
            broken != nullptr && tells_broken(text))
            *broken = true;
        if (caption != nullptr && tells_closed(text)) {
            if (!*closed) out += "dorv: the server closed the connection\n";
            *closed = true;
        } else {
            out += "dorv: ";
            if (caption != nullptr) out += caption->said_as;
            for (char c : text) {
                out += c;
                if (c == '\n') out += "dorv: ";
            }
            out += "\n";
        }
        i = end;
    }
    return out;
}

void messages_begin() {
    fflush(stderr);
    sink_fd = open_sink();
    if (sink_fd < 0) return; // not caught: the records reach standard error as they are
    original_fd = dup(2);
    original = original_fd >= 0 ? fdopen(original_fd, "w") : nullptr;
    if (original == nullptr || dup2(sink_fd, 2) < 0) {
        if (original != nullptr) fclose(original);
        original = nullptr;
        close(sink_fd);
        sink_fd = -1;
    }
}

void messages_flush() {
    if (original == nullptr) return;
    fflush(stderr);
    std::string said = reword_library_messages(read_sink(), &closed_seen, &broken_seen);
    if (!said.empty()) progress_clear();
    fputs(said.c_str(), original);
    fflush(original);
}

void messages_end() {
    if (original == nullptr) return;
    messages_flush();
    fflush(stderr);
    dup2(fileno(original), 2);
    fclose(original);
    original = nullptr;
#ifdef _WIN32
    close(sink_fd);
#else
    fclose(sink_file);
    sink_file = nullptr;
#endif
    sink_fd = -1;
}

void say(const std::string& text) {
    messages_flush();
    progress_clear();
    FILE* to = said_stream();
    fprintf(to, "dorv: %s\n", text.c_str());
    fflush(to);
}

bool connection_lost() {
    messages_flush();
    return closed_seen || broken_seen;
}
