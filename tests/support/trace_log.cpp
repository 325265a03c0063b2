#include "support/trace_log.h"

#include "common/diagnostics.h"
#include "support/test_files.h"

void restart_debug_log(const std::string& ini_text) {
    end_debug_log();
    if (ini_text.empty())
        remove_file(windorv_ini_path());
    else
        write_text_file(windorv_ini_path(), ini_text);
    start_debug_log();
}

TraceLog::TraceLog() {
    static int serial = 0;
    path = test_temp_dir() + "/trace" + std::to_string(++serial) + ".log";
    remove_file(path);
    restart_debug_log("[Global]\nDebug=1\nDLLDebugFile=" + path + "\n");
}

TraceLog::~TraceLog() {
    restart_debug_log("");
}

std::string TraceLog::text() {
    end_debug_log();
    return read_log_file(path);
}
