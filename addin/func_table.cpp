#include "addin/func_table.h"

#include <ctype.h>
#include <stddef.h>
#include <string.h>

// The leading byte of each text is a placeholder until attach counts it.
#define T(text) "\377" text

char func_table[FUNC_ROWS][FUNC_COLUMNS][FUNC_TEXT_SIZE] = {
    {T("XDorvConnect"), T("RRRRR"), T("XDorvConnect"), T("transport,server,service,debug"), T("1"),
     T("Dorv Functions"), T("")},
    {T("XDorvConnectIni"), T("RRRRR"), T("XDorvConnectIni"), T("filename,section,debug,dbopen"),
     T("1"), T("Dorv Functions"), T("")},
    {T("XDorvDisconnect"), T("RR"), T("XDorvDisconnect"), T("handle"), T("1"), T("Dorv Functions"),
     T("")},
    // XDorvSetInifile yields a plain 16-bit integer, 1 or 0: result letter I.
    {T("XDorvSetInifile"), T("IRRR"), T("XDorvSetInifile"), T("handle, filename, section"), T("1"),
     T("Dorv Functions"), T("")},
    {T("XDorvVersion"), T("RR"), T("XDorvVersion"), T("handle"), T("1"), T("Dorv Functions"),
     T("")},
    {T("XDorvClearRange"), T("ARR"), T("XDorvClearRange"), T(""), T("2"), T("Dorv Functions"),
     T("")},
    {T("XDorvExecRange"), T("IRRRR"), T("XDorvExecRange"), T(""), T("2"), T("Dorv Functions"),
     T("")},
    {T("XDorvExec"), T("IRR"), T("XDorvExec"), T(""), T("2"), T("Dorv Functions"), T("")},
    {T("XDorvRange"), T("IRRR"), T("XDorvRange"), T(""), T("2"), T("Dorv Functions"), T("")},
    {T("XDorvSelectEntry"), T("CRRRR"), T("XDorvSelectEntry"), T(""), T("2"), T("Dorv Functions"),
     T("")},
};

// Q: an XLOPER12 result; U: an XLOPER12 argument that may be a reference; J:
// a 32-bit integer; A: a boolean; C%: a NUL-terminated UTF-16 text.
char func_table12[FUNC_ROWS][2][FUNC_TEXT_SIZE] = {
    {T("XDorvConnect12"), T("QUUUU")},   {T("XDorvConnectIni12"), T("QUUUU")},
    {T("XDorvDisconnect12"), T("QU")},   {T("XDorvSetInifile12"), T("JUUU")},
    {T("XDorvVersion12"), T("QU")},      {T("XDorvClearRange12"), T("AUU")},
    {T("XDorvExecRange12"), T("JUUUU")}, {T("XDorvExec12"), T("JUU")},
    {T("XDorvRange12"), T("JUUU")},      {T("XDorvSelectEntry12"), T("C%UUUU")},
};

#undef T

namespace {

template <size_t N> void set_lengths(char (&texts)[N][FUNC_TEXT_SIZE]) {
    for (auto& text : texts)
        text[0] = static_cast<char>(strlen(text + 1));
}

} // namespace

void func_table_set_lengths() {
    for (auto& row : func_table)
        set_lengths(row);
    for (auto& row : func_table12)
        set_lengths(row);
}

bool func_name_matches(const char* name, const char* procedure) {
    if (name[0] != procedure[0]) return false;
    int n = static_cast<unsigned char>(procedure[0]);
    for (int i = 1; i <= n; ++i)
        if (tolower(static_cast<unsigned char>(name[i])) !=
            tolower(static_cast<unsigned char>(procedure[i])))
            return false;
    return true;
}
