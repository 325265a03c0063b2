#include "support/proc_status.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    FILE* f = fopen(path.c_str(), "r");
    if (f == nullptr) return "";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

} // namespace

long proc_status_kb(pid_t pid, const char* field) {
    std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    std::string wanted = std::string("\n") + field + ":";
    size_t at = status.find(wanted);
    if (at == std::string::npos) return -1;
    return atol(status.c_str() + at + wanted.size());
}

int proc_threads(pid_t pid) {
    return static_cast<int>(proc_status_kb(pid, "Threads"));
}

long proc_cpu_ticks(pid_t pid) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t at = stat.rfind(')'); // the command name may hold blanks
    if (at == std::string::npos) return -1;
    // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
    const char* p = stat.c_str() + at + 2;
    long utime = 0, stime = 0;
    for (int field = 3; field <= 15 && *p != '\0'; ++field) {
        if (field == 14) utime = atol(p);
        if (field == 15) stime = atol(p);
        p = strchr(p, ' ');
        if (p == nullptr) break;
        ++p;
    }
    return utime + stime;
}
