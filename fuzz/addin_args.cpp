// Fuzzes the add-in's argument conversion (MKSTR, MKINT, xl_optional_int) on
// worksheet arguments built from the input: counted texts, numbers, errors,
// arrays, references, omitted arguments. References and arrays are coerced by
// a stand-in Excel (fake_xlcall32) whose cells and answers the input gives.
//
// Layout:
//   flags        bit 0 debug log, bit 1 pool emptied before each argument
//   coerce       bits 0-2 Excel's answer (0-3 success, 4 uncalced, 5 failed,
//                6 abort, 7 invalid record), bits 4-5 the answer's shape
//   cell count   0 to 16, then the cells (records without arrays or references)
//   arg count    0 to 8, then per argument: conversion byte and a record
// A record: type byte (low 4 bits the kind, bit 6 xlbitXLFree, bit 7
// xlbitDLLFree) and the kind's data: number 8 bytes, text length byte and
// characters, error u16, array rows and columns bytes and the cells, reference
// 6 bytes (rows u16 u16, columns u8 u8), external reference a count and areas.
#include "fuzz/fake_xlcall32.h"
#include "fuzz/input_reader.h"
#include "fuzz/silent_boxes.h"

#include "addin/convert.h"
#include "addin/xl_callback.h"
#include "common/diagnostics.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Everything an input's records point to; freed after the input.
struct Allocations {
    std::vector<void*> blocks;
    void* take(size_t n) {
        void* p = malloc(n > 0 ? n : 1);
        blocks.push_back(p);
        return p;
    }
    ~Allocations() {
        for (void* p : blocks)
            free(p);
    }
};

void read_ref(InputReader& in, XLREF* ref) {
    ref->rwFirst = in.u16();
    ref->rwLast = in.u16();
    ref->colFirst = in.byte();
    ref->colLast = in.byte();
}

void read_record(InputReader& in, Allocations& memory, XLOPER* x, bool cell) {
    memset(x, 0, sizeof *x);
    const uint8_t type = in.byte();
    uint16_t bits = (type & 0x40 ? xlbitXLFree : 0) | (type & 0x80 ? xlbitDLLFree : 0);
    switch (type & 15) {
    case 0: {
        uint64_t raw = 0;
        for (int i = 0; i < 8; ++i)
            raw |= static_cast<uint64_t>(in.byte()) << (8 * i);
        memcpy(&x->val.num, &raw, sizeof raw);
        x->xltype = xltypeNum;
        break;
    }
    case 1: {
        // A counted text of exactly its length byte and characters.
        const uint8_t n = in.byte();
        std::string text = in.bytes(n);
        text.resize(n, ' ');
        x->val.str = static_cast<char*>(memory.take(n + 1u));
        x->val.str[0] = static_cast<char>(n);
        memcpy(x->val.str + 1, text.data(), n);
        x->xltype = xltypeStr;
        break;
    }
    case 2:
        x->val.str = nullptr;
        x->xltype = xltypeStr;
        break;
    case 3:
        x->val.err = in.u16();
        x->xltype = xltypeErr;
        break;
    case 4:
        x->xltype = xltypeMissing;
        break;
    case 5:
        x->xltype = xltypeNil;
        break;
    case 6:
        x->val.xbool = in.u16();
        x->xltype = xltypeBool;
        break;
    case 7:
        x->val.w = static_cast<int16_t>(in.u16());
        x->xltype = xltypeInt;
        break;
    case 8: {
        if (cell) {
            x->xltype = xltypeNil;
            break;
        }
        const int rows = in.byte() % 9, columns = in.byte() % 9;
        x->val.array.rows = static_cast<uint16_t>(rows);
        x->val.array.columns = static_cast<uint16_t>(columns);
        x->val.array.lparray =
            static_cast<XLOPER*>(memory.take(sizeof(XLOPER) * static_cast<size_t>(rows * columns)));
        for (int i = 0; i < rows * columns; ++i)
            read_record(in, memory, &x->val.array.lparray[i], true);
        x->xltype = xltypeMulti;
        break;
    }
    case 9:
        if (cell) {
            x->xltype = xltypeNil;
            break;
        }
        x->val.sref.count = 1;
        read_ref(in, &x->val.sref.ref);
        x->xltype = xltypeSRef;
        break;
    case 10: {
        if (cell) {
            x->xltype = xltypeNil;
            break;
        }
        // An external reference of exactly `count` areas (at least room for one).
        const int count = in.byte() % 4;
        size_t size =
            offsetof(XLMREF, reftbl) + sizeof(XLREF) * static_cast<size_t>(count > 0 ? count : 1);
        XLMREF* mref = static_cast<XLMREF*>(memory.take(size));
        memset(mref, 0, size);
        mref->count = static_cast<uint16_t>(count);
        for (int i = 0; i < count; ++i)
            read_ref(in, &mref->reftbl[i]);
        x->val.mref.lpmref = mref;
        x->val.mref.idSheet = in.byte();
        x->xltype = xltypeRef;
        break;
    }
    default:
        x->xltype =
            static_cast<uint16_t>(in.u16() & ~(xlbitXLFree | xlbitDLLFree)); // any type number
        break;
    }
    x->xltype = static_cast<uint16_t>(x->xltype | bits);
}

void check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "fuzz_addin_args: %s\n", what);
    abort();
}

void check_failure_value() {
    check(xl_type(&xl_result) == xltypeErr, "failure without an error value");
}

const int coerce_answers[] = {xlretSuccess,  xlretSuccess, xlretSuccess, xlretSuccess,
                              xlretUncalced, xlretFailed,  xlretAbort,   xlretInvXloper};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The add-in's debug log on, to /dev/null; each input switches it.
    char dir[] = "/tmp/dorv-fuzz-addin-XXXXXX";
    if (mkdtemp(dir) == nullptr) abort();
    std::string ini = std::string(dir) + "/windorv.ini";
    FILE* f = fopen(ini.c_str(), "w");
    if (f == nullptr) abort();
    fputs("[Global]\nDebug=1\nXLLDebugFile=/dev/null\n", f);
    fclose(f);
    setenv("DORV_INI_DIR", dir, 1);
    install_silent_boxes(getenv("DORV_FUZZ_TRACE") != nullptr);
    start_debug_log();
    unlink(ini.c_str());
    rmdir(dir);
    if (!xl_bind_excel()) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    Allocations memory;
    const uint8_t flags = in.byte();
    debug_enabled = flags & 1;
    const bool reset_each = (flags & 2) != 0;
    const uint8_t coerce = in.byte();

    const int cell_count = in.byte() % 17;
    XLOPER* cells =
        static_cast<XLOPER*>(memory.take(sizeof(XLOPER) * static_cast<size_t>(cell_count)));
    for (int i = 0; i < cell_count; ++i)
        read_record(in, memory, &cells[i], true);
    fuzz_xl_set_sheet(cells, cell_count, coerce_answers[coerce & 7], ((coerce >> 4) & 3) % 3);

    tmpstr_reset();
    const int arg_count = in.byte() % 9;
    for (int i = 0; i < arg_count; ++i) {
        const uint8_t conversion = in.byte();
        XLOPER* argument = static_cast<XLOPER*>(memory.take(sizeof(XLOPER)));
        read_record(in, memory, argument, false);
        if (reset_each) tmpstr_reset();
        xl_result.xltype = xltypeNil;
        switch (conversion % 4) {
        case 0:
        case 3: {
            char* text = MKSTR(conversion % 4 == 3 ? nullptr : argument);
            if (text == nullptr) {
                check_failure_value();
            } else {
                check(text >= tmpstr && text < tmpstr + TMPSTR_SIZE, "text outside the pool");
                check(memchr(text, 0, static_cast<size_t>(tmpstr + TMPSTR_SIZE - text)) != nullptr,
                      "text not terminated inside the pool");
            }
            break;
        }
        case 1: {
            int value = 0;
            int rc = MKINT(argument, &value);
            check(rc == 0 || rc == -1, "MKINT result");
            if (rc != 0) check_failure_value();
            break;
        }
        case 2: {
            int value = 0;
            if (!xl_optional_int(argument, 7, &value)) check_failure_value();
            break;
        }
        }
        check(tmp_ofs >= 0 && tmp_ofs <= TMPSTR_SIZE, "pool offset out of range");
        check(fuzz_xl_outstanding() == 0, "an array from Excel was not given back");
    }
    return 0;
}
