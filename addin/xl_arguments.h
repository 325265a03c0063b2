// The records of one call into Excel, gathered from a variable argument list
// for the array that Excel's callbacks take (xl_call and xl12_call).
#pragma once

#include "addin/xl_interface.h"

#include <stdarg.h>

enum : int { XL_MAX_ARGUMENTS = 30 };

// Reads `count` record pointers from `list` into `out` (room for
// XL_MAX_ARGUMENTS). xlretSuccess; xlretInvCount for more than Excel takes;
// xlretInvXloper for a null record (a scratch record that did not fit).
template <class X> int xl_gather_arguments(va_list list, int count, X** out) {
    if (count < 0 || count > XL_MAX_ARGUMENTS) return xlretInvCount;
    for (int i = 0; i < count; ++i) {
        out[i] =
            va_arg(list, X*); // NOLINT(clang-analyzer-valist.Uninitialized): started by the caller
        if (out[i] == nullptr) return xlretInvXloper;
    }
    return xlretSuccess;
}
