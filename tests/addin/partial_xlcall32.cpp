// An xlcall32 that offers Excel4 but not Excel4v, for the add-in's attach.
#include "excel_records.h"

extern "C" int Excel4(int, excel::Oper*, int, ...) {
    return excel::RetFailed;
}
