#include "shown_boxes.h"

#include "support/test_files.h"

#ifdef _WIN32

ShownBoxes::ShownBoxes() = default;
ShownBoxes::~ShownBoxes() = default;
std::vector<std::string> ShownBoxes::summary() {
    return capture_.summary();
}
std::vector<unsigned> ShownBoxes::styles() {
    std::vector<unsigned> out;
    for (const auto& b : capture_.boxes)
        out.push_back(b.style);
    return out;
}
void ShownBoxes::clear() {
    capture_.clear();
}

#else

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// The captions this system shows, longest first where one begins another.
const char* const captions[] = {"Explain Dorv - Message",
                                "Dorv SERVER:",
                                "Dorv Error",
                                "DORV32.XLL",
                                "DORV.XLL",
                                "Dorv XLL",
                                "Dorv"};

// The caption whose "caption: " starts `line` at position `at`, or null. A
// caption that ends in a colon ("Dorv SERVER:") is followed by the blank alone.
std::string start_of(const char* caption) {
    std::string start = caption;
    return start + (start.back() == ':' ? " " : ": ");
}

const char* caption_at(const std::string& text, size_t at) {
    for (const char* c : captions) {
        std::string start = start_of(c);
        if (text.compare(at, start.size(), start) == 0) return c;
    }
    return nullptr;
}
} // namespace

ShownBoxes::ShownBoxes() {
    static int serial = 0;
    path_ = test_temp_dir() + "/boxes" + std::to_string(++serial) + ".txt";
    fflush(stderr);
    saved_ = dup(2);
    int fd = open(path_.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
    dup2(fd, 2);
    close(fd);
}

ShownBoxes::~ShownBoxes() {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    remove_file(path_);
}

std::vector<std::string> ShownBoxes::summary() {
    fflush(stderr);
    std::string text = read_text_file(path_).substr(static_cast<size_t>(consumed_));
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const char* caption = caption_at(text, at);
        size_t body = at + (caption != nullptr ? start_of(caption).size() : 0);
        // The box's text runs to the line that starts the next box.
        size_t end = body;
        for (;;) {
            size_t nl = text.find('\n', end);
            if (nl == std::string::npos) {
                end = text.size();
                break;
            }
            end = nl + 1;
            if (end >= text.size() || caption_at(text, end) != nullptr) break;
        }
        std::string box = text.substr(body, end - body);
        if (!box.empty() && box.back() == '\n') box.pop_back();
        out.push_back(caption != nullptr ? std::string(caption) + "|" + box : "?|" + box);
        at = end;
    }
    return out;
}

std::vector<unsigned> ShownBoxes::styles() {
    return {};
}

void ShownBoxes::clear() {
    fflush(stderr);
    consumed_ = static_cast<long>(read_text_file(path_).size());
}

#endif
