#include "trace_file.h"

#include "support/test_files.h"
#include "xll_loader.h"

XllTrace::XllTrace(const std::string& extra) {
    static int serial = 0;
    path = test_temp_dir() + "/xll_trace" + std::to_string(++serial) + ".log";
    remove_file(path);
    // The library traces too: into a file of its own.
    write_text_file(windorv_ini_path(), "[Global]\nDebug=1\nXLLDebugFile=" + path +
                                            "\nDLLDebugFile=" + path + ".dll\n" + extra);
    reload_xll();
}

XllTrace::~XllTrace() {
    remove_file(windorv_ini_path());
    reload_xll();
}

std::string read_log(const std::string& path) {
    std::string raw = read_text_file(path), out;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) out += raw[i];
    return out;
}

std::string XllTrace::text() {
    unload_shared_xll();
    return read_log(path);
}
