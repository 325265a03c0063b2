#include "addin/func_table.h"

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

#undef T

void func_table_set_lengths() {
    for (auto& row : func_table)
        for (auto& text : row)
            text[0] = static_cast<char>(strlen(text + 1));
}
