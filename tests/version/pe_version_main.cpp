// pe_version FILE...: the version resource of each Windows PE file, one line
// per item ("FILE: FILEVERSION 2.10.0.0", "FILE: FileVersion=2.10"); exit
// status 1 when a file has none.
#include "pe_version.h"

#include <cstdio>

int main(int argc, char** argv) {
    int rc = 0;
    for (int i = 1; i < argc; ++i) {
        PeVersion v;
        std::string error;
        if (!read_pe_version_file(argv[i], &v, &error)) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
            rc = 1;
            continue;
        }
        std::printf("%s: FILEVERSION %s\n", argv[i],
                    fixed_version_text(v.file_ms, v.file_ls).c_str());
        std::printf("%s: PRODUCTVERSION %s\n", argv[i],
                    fixed_version_text(v.product_ms, v.product_ls).c_str());
        for (const auto& [key, value] : v.texts)
            std::printf("%s: %s=%s\n", argv[i], key.c_str(), value.c_str());
    }
    return argc < 2 ? 2 : rc;
}
