// The add-in's exports: the entry points that Excel calls and the ten
// worksheet functions and commands that they register, each for Excel's 4
// interface and (ending in 12) for its 12 interface.
#pragma once

#include "addin/xl_interface12.h"

extern "C" {
int XL_CALL xlAutoOpen();
int XL_CALL xlAutoClose();
XLOPER* XL_CALL xlAutoRegister(XLOPER* name);
int XL_CALL xlAutoRemove();
int XL_CALL xlAutoAdd();
XLOPER* XL_CALL xlAddInManagerInfo(XLOPER* action);

XLOPER* XL_CALL XDorvConnect(XLOPER* transport, XLOPER* server, XLOPER* service, XLOPER* debug);
XLOPER* XL_CALL XDorvConnectIni(XLOPER* filename, XLOPER* section, XLOPER* debug, XLOPER* dbopen);
XLOPER* XL_CALL XDorvDisconnect(XLOPER* handle);
int16_t XL_CALL XDorvSetInifile(XLOPER* handle, XLOPER* filename, XLOPER* section);
XLOPER* XL_CALL XDorvVersion(XLOPER* handle);
int16_t XL_CALL XDorvClearRange(XLOPER* target, XLOPER* value);
int16_t XL_CALL XDorvExecRange(XLOPER* handle, XLOPER* stmt, XLOPER* target, XLOPER* mode);
int16_t XL_CALL XDorvExec(XLOPER* handle, XLOPER* stmt);
int16_t XL_CALL XDorvRange(XLOPER* handle, XLOPER* target, XLOPER* mode);
char* XL_CALL XDorvSelectEntry(XLOPER* hdl, XLOPER* keyfield, XLOPER* keylen, XLOPER* max_select);

// The same through Excel's 12 interface: registered in place of the above
// when the host offers it.
XLOPER12* XL_CALL xlAutoRegister12(XLOPER12* name);
XLOPER12* XL_CALL XDorvConnect12(XLOPER12* transport, XLOPER12* server, XLOPER12* service,
                                 XLOPER12* debug);
XLOPER12* XL_CALL XDorvConnectIni12(XLOPER12* filename, XLOPER12* section, XLOPER12* debug,
                                    XLOPER12* dbopen);
XLOPER12* XL_CALL XDorvDisconnect12(XLOPER12* handle);
int32_t XL_CALL XDorvSetInifile12(XLOPER12* handle, XLOPER12* filename, XLOPER12* section);
XLOPER12* XL_CALL XDorvVersion12(XLOPER12* handle);
int16_t XL_CALL XDorvClearRange12(XLOPER12* target, XLOPER12* value);
int32_t XL_CALL XDorvExecRange12(XLOPER12* handle, XLOPER12* stmt, XLOPER12* target,
                                 XLOPER12* mode);
int32_t XL_CALL XDorvExec12(XLOPER12* handle, XLOPER12* stmt);
int32_t XL_CALL XDorvRange12(XLOPER12* handle, XLOPER12* target, XLOPER12* mode);
xl_char* XL_CALL XDorvSelectEntry12(XLOPER12* hdl, XLOPER12* keyfield, XLOPER12* keylen,
                                    XLOPER12* max_select);
}
