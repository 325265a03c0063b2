// Inside the fake Excel: the one sheet model behind both callback
// interfaces (Excel4v's XLOPER and MdCallBack12's XLOPER12), and the texts,
// arrays and calls it keeps. Not seen by the tests, which use fake_excel.h.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace fake {

// A cell's value. Texts are kept as Excel 2007 keeps them, in UTF-16.
struct Cell {
    int type = 0; // excel::Num, Str, Bool, Err, or 0 for empty
    double number = 0;
    int error = 0;
    std::u16string text;
    bool uncalced = false;
};

typedef std::tuple<unsigned, int, int> Address; // sheet, row, column

struct Registration {
    int interface;                     // 4 or 12
    std::vector<std::u16string> units; // per argument: the counted text's units, length first
    std::vector<bool> is_text;
};

struct Call {
    int function;
    int count;
    int interface;
};

// Memory that Excel handed out and gets back through xlFree: texts, and
// arrays with the texts of their elements.
struct Owned {
    std::shared_ptr<void> block;
    std::vector<std::shared_ptr<void>> texts;
};

struct Model {
    std::map<Address, Cell> cells;
    std::set<unsigned> sheets{1, 2};
    unsigned active = 1;
    std::string dll_name = "C:\\Dorv\\DORV32.XLL";
    std::vector<Call> calls;
    std::vector<Registration> registrations;
    std::set<std::string> refused;
    std::vector<std::pair<std::u16string, int>> alerts;
    std::vector<std::pair<std::u16string, int>> set_names;
    std::map<int, int> fail_after;
    int set_calls = 0;
    int abort_checks = 0;
    int escape_at = 0; // the xlAbort call (counted from the first) that finds Esc pressed
    bool break_pending = false;
    std::vector<std::pair<std::u16string, int>> status; // xlcMessage: text, 1 shown / 0 given back
    std::map<const void*, std::shared_ptr<void>> texts; // Excel-owned counted texts
    std::map<const void*, Owned> arrays;                // Excel-owned arrays
    std::string faults;
};

Model& model();
void fault(const std::string& what);
const Cell* find_cell(unsigned sheet, int row, int column);

// Windows ANSI (code page 1252) and UTF-16, as Excel converts between its
// two interfaces; a character without a byte becomes '?'.
std::u16string widen(const std::string& text);
std::string narrow(const std::u16string& text);

} // namespace fake
