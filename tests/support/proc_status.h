// What /proc says about a process (Linux): memory, processor time, threads.
#pragma once

#include <sys/types.h>

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM"), or -1.
long proc_status_kb(pid_t pid, const char* field);
// Clock ticks the process has run (user and system), or -1.
long proc_cpu_ticks(pid_t pid);
int proc_threads(pid_t pid);
