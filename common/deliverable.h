// The texts in which the two copies of the diagnostics differ (for common/'s
// own sources).
#pragma once

#if defined(DORV_DIAG_LIBRARY) == defined(DORV_DIAG_ADDIN)
#error "define exactly one of DORV_DIAG_LIBRARY and DORV_DIAG_ADDIN"
#endif

#ifdef DORV_DIAG_LIBRARY
#define LOG_FILE_KEY "DLLDebugFile"
#define LOG_OPEN_CAPTION "DORV.DLL"
#define ERROR_CAPTION "Dorv"
#define MESSAGE_LOG_NAME "dorv32.log"
#else
#define LOG_FILE_KEY "XLLDebugFile"
#define LOG_OPEN_CAPTION "DORV.XLL"
#define ERROR_CAPTION "Dorv XLL"
#define MESSAGE_LOG_NAME "dorvxll32.log"
#endif

// The caption of a server's text message (the library only).
#define SERVER_TEXT_CAPTION "Dorv SERVER:"
// The longest server text a box shows.
enum : int { SERVER_TEXT_SHOWN = 1019 };
