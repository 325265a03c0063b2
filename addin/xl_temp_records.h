// Scratch records made alike for Excel's two interfaces (XLOPER and
// XLOPER12): in the scratch block at offsets that suit their doubles, alive
// until the next call into Excel returns. Null when the block is full.
#pragma once

#include "addin/xl_callback.h"

#include <type_traits>
#include <utility>

template <class X> X* xl_temp_record_of() {
    return static_cast<X*>(xl_temp_alloc_aligned(sizeof(X)));
}

template <class X, class V> X* xl_temp_int_of(V value) {
    X* x = xl_temp_record_of<X>();
    if (x == nullptr) return nullptr;
    x->xltype = xltypeInt;
    x->val.w = value;
    return x;
}

template <class X> X* xl_temp_bool_of(bool value) {
    X* x = xl_temp_record_of<X>();
    if (x == nullptr) return nullptr;
    x->xltype = xltypeBool;
    x->val.xbool = value ? 1 : 0;
    return x;
}

// An xltypeRef record of the one rectangle `area` on `sheet`.
template <class X, class Area> X* xl_temp_ref_of(xl_sheet_id sheet, const Area& area) {
    using MRef = std::remove_pointer_t<decltype(std::declval<X&>().val.mref.lpmref)>;
    X* x = xl_temp_record_of<X>();
    auto* areas = static_cast<MRef*>(xl_temp_alloc_aligned(sizeof(MRef)));
    if (x == nullptr || areas == nullptr) return nullptr;
    x->xltype = xltypeRef;
    x->val.mref.lpmref = areas;
    x->val.mref.idSheet = sheet;
    areas->count = 1;
    areas->reftbl[0] = area;
    return x;
}

// The active sheet as Excel's xlSheetId answers it into a record of its
// own, `sheet_id(&record)` making the call; false when Excel fails.
template <class X, class Call> bool xl_active_sheet_of(Call sheet_id, xl_sheet_id* sheet) {
    X x;
    if (sheet_id(&x) != xlretSuccess) return false;
    *sheet = x.val.mref.idSheet;
    return true;
}
