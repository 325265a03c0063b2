// The add-in's exports: the six entry points that Excel calls and the ten
// worksheet functions and commands that they register.
#pragma once

#include "addin/xl_interface.h"

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
}
