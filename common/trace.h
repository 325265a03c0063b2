// Trace lines into the debug log: what a layer that shows nothing itself may
// write. The boxes are in common/diagnostics.h.
#pragma once

#if defined(__GNUC__)
#define DORV_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define DORV_PRINTF(f, a)
#endif

// The process-wide switch: "Debug" in section "Global" of "windorv.ini".
extern unsigned debug_enabled;

// A trace line (printf-style), only when tracing is on.
void debug_print(const char* format, ...) DORV_PRINTF(1, 2);
