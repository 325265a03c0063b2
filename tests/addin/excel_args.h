// Records as Excel passes them to worksheet functions, built for a test and
// kept alive as long as the builder.
#pragma once

#include "excel_records.h"

#include <deque>
#include <string>
#include <vector>

class Opers {
  public:
    excel::Oper* str(const std::string& text); // a counted text, at most 255 characters
    excel::Oper* num(double value);
    excel::Oper* integer(int16_t value);
    excel::Oper* boolean(bool value);
    excel::Oper* err(uint16_t error);
    excel::Oper* missing();
    excel::Oper* nil();
    excel::Oper* sref(int rw_first, int rw_last, int col_first, int col_last);
    excel::Oper* ref(unsigned sheet, int rw_first, int rw_last, int col_first, int col_last);
    excel::Oper* ref_areas(unsigned sheet, const std::vector<excel::Ref>& areas);
    // An array, row by row, of records made by this builder.
    excel::Oper* multi(int rows, int columns, const std::vector<excel::Oper*>& elements);

  private:
    excel::Oper* add(const excel::Oper& x);
    std::deque<excel::Oper> opers_;
    std::deque<std::string> texts_;
    std::deque<std::vector<unsigned char>> areas_;
    std::deque<std::vector<excel::Oper>> arrays_;
};

// A record as a short readable text: "int 5", "err 42", "num 3.5", "str [abc]",
// "nil", "null".
std::string describe(const excel::Oper* x);
std::string err_text(uint16_t error); // "err 42"
std::string int_text(int value);      // "int 5"
std::string str_text(const std::string& text);
