// The test program as Excel 2007 and later: it exports MdCallBack12 from its
// own executable, where the add-in looks for it, and hands every call to the
// fake Excel's sheet model.
#include "fake_excel.h"

extern "C" int EXCEL_STDCALL MdCallBack12(int function, int count, excel::Oper12* arguments[],
                                          excel::Oper12* result) {
    return fake_excel12(function, count, arguments, result);
}
