// Fuzzes the POSIX reader of initialisation files: a fuzzed file, read with
// fuzzed section and key names, defaults and (small) buffer sizes.
//
// Layout: buffer size byte (0 to 255), lookup count byte (at most 8), the
// lookups as section, key and default, each ended by a zero byte, then the
// file's bytes.
#include "fuzz/input_reader.h"

#include "platform/platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

std::string file_path;

std::string text_until_zero(InputReader& in) {
    std::string text;
    while (!in.empty()) {
        char c = static_cast<char>(in.byte());
        if (c == '\0') break;
        text += c;
    }
    return text;
}

// A heap copy of exactly the text, so reads beyond its terminator are seen.
struct Text {
    explicit Text(const std::string& s) : bytes(static_cast<char*>(malloc(s.size() + 1))) {
        memcpy(bytes, s.c_str(), s.size() + 1);
    }
    ~Text() { free(bytes); }
    char* bytes;
};

void check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "fuzz_ini_reader: %s\n", what);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where the system offers it: the file is written for every input.
    char dir[] = "/dev/shm/dorv-fuzz-ini-XXXXXX";
    char fallback[] = "/tmp/dorv-fuzz-ini-XXXXXX";
    char* made = mkdtemp(dir);
    if (made == nullptr) made = mkdtemp(fallback);
    if (made == nullptr) abort();
    file_path = std::string(made) + "/fuzz.ini";
    static std::string folder = made;
    atexit([] {
        unlink(file_path.c_str());
        rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    const int buffer_size = in.byte();
    const int lookups = in.byte() % 9;
    struct Lookup {
        std::string section, key, deflt;
    } wanted[8];
    for (int i = 0; i < lookups; ++i)
        wanted[i] = {text_until_zero(in), text_until_zero(in), text_until_zero(in)};
    const std::string contents = in.rest();

    FILE* f = fopen(file_path.c_str(), "wb");
    if (f == nullptr) abort();
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);

    for (int i = 0; i < lookups; ++i) {
        Text section(wanted[i].section), key(wanted[i].key), deflt(wanted[i].deflt);
        // A buffer of exactly the size passed.
        char* buffer = static_cast<char*>(malloc(buffer_size > 0 ? buffer_size : 1));
        int n = plat_ini_string(section.bytes, key.bytes, deflt.bytes, buffer, buffer_size,
                                file_path.c_str());
        if (buffer_size > 0) {
            check(n >= 0 && n < buffer_size, "count outside the buffer");
            check(strlen(buffer) == static_cast<size_t>(n), "count differs from the text");
        } else {
            check(n == 0, "characters stored into no buffer");
        }
        // The default comes back when the key is absent: a missing file says so.
        int m = plat_ini_string(section.bytes, key.bytes, deflt.bytes, buffer, buffer_size,
                                "/nonexistent-dorv-fuzz/missing.ini");
        check(buffer_size == 0 || m <= static_cast<int>(wanted[i].deflt.size()),
              "more than the default from a missing file");
        plat_ini_int(section.bytes, key.bytes, -1, file_path.c_str());
        free(buffer);
    }
    return 0;
}
