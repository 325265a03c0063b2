// Records as Excel passes them to worksheet functions, built for a test and
// kept alive as long as the builder: XLOPER (Opers) and XLOPER12 (Opers12).
#pragma once

#include "excel_records.h"

#include <deque>
#include <string>
#include <vector>

template <class R> class OperBuilder {
  public:
    using Text = std::basic_string<typename R::Char>;
    using Ref = typename R::RefType;

    R* str(const Text& text); // counted, cut to what the interface's text holds
    R* num(double value);
    R* integer(int value);
    R* boolean(bool value);
    R* err(uint16_t error);
    R* missing();
    R* nil();
    R* sref(long rw_first, long rw_last, long col_first, long col_last);
    R* ref(unsigned sheet, long rw_first, long rw_last, long col_first, long col_last);
    R* ref_areas(unsigned sheet, const std::vector<Ref>& areas);
    // An array, row by row, of records made by this builder.
    R* multi(int rows, int columns, const std::vector<R*>& elements);

  private:
    R* add(const R& x);
    std::deque<R> opers_;
    std::deque<Text> texts_;
    std::deque<std::vector<unsigned char>> areas_;
    std::deque<std::vector<R>> arrays_;
};

using Opers = OperBuilder<excel::Oper>;
using Opers12 = OperBuilder<excel::Oper12>;

// A record as a short readable text: "int 5", "err 42", "num 3.5", "str [abc]"
// (an XLOPER12 text in UTF-8), "nil", "null".
std::string describe(const excel::Oper* x);
std::string describe(const excel::Oper12* x);
std::string err_text(uint16_t error); // "err 42"
std::string int_text(int value);      // "int 5"
std::string str_text(const std::string& text);
// UTF-16 as UTF-8, for readable texts and messages.
std::string to_utf8(const std::u16string& text);
