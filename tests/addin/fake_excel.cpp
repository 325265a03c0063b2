// The fake Excel behind Excel4 and Excel4v. See fake_excel.h.
#include "fake_excel.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace excel;

namespace {

struct Cell {
    int type = 0;
    double number = 0;
    int error = 0;
    std::string text;
    bool uncalced = false;
};

typedef std::tuple<unsigned, int, int> Address;

struct Registration {
    std::vector<std::string> bytes; // per argument; "\xff-none" marker for no text
    std::vector<bool> is_text;
};

struct Model {
    std::map<Address, Cell> cells;
    std::set<unsigned> sheets{1, 2};
    unsigned active = 1;
    std::string dll_name = "C:\\Dorv\\DORV32.XLL";
    std::vector<std::pair<int, int>> calls;
    std::vector<Registration> registrations;
    std::set<std::string> refused;
    std::vector<std::pair<std::string, int>> alerts;
    std::vector<std::pair<std::string, int>> set_names;
    std::map<int, int> fail_after;
    int set_calls = 0;
    int abort_checks = 0;
    int escape_at = 0; // the xlAbort call (counted from the first) that finds Esc pressed
    bool break_pending = false;
    std::vector<std::pair<std::string, int>> status; // xlcMessage: text, 1 shown / 0 given back
    std::set<char*> texts;                           // Excel-owned counted texts
    std::map<Oper*, std::vector<char*>> arrays;      // Excel-owned arrays and their texts
    std::string faults;
};

Model& model() {
    static Model m;
    return m;
}

void fault(const std::string& what) {
    model().faults += what + "\n";
}

std::string counted_text(const Oper* x) {
    if (x->val.str == nullptr) {
        fault("text record with a null pointer");
        return "";
    }
    return std::string(x->val.str + 1, static_cast<unsigned char>(x->val.str[0]));
}

char* new_text(const std::string& text) {
    size_t n = text.size() > 255 ? 255 : text.size();
    char* p = new char[n + 2];
    p[0] = static_cast<char>(n);
    memcpy(p + 1, text.data(), n);
    p[n + 1] = '\0';
    return p;
}

uint16_t type_of(const Oper* x) {
    return static_cast<uint16_t>(x->xltype & ~(XLFreeBit | DLLFreeBit));
}

void cell_to_oper(const Cell& c, Oper* out, std::vector<char*>* texts) {
    switch (c.type) {
    case Num:
        out->xltype = Num;
        out->val.num = c.number;
        break;
    case Str:
        out->xltype = Str;
        out->val.str = new_text(c.text);
        texts->push_back(out->val.str);
        break;
    case Bool:
        out->xltype = Bool;
        out->val.xbool = static_cast<uint16_t>(c.number != 0);
        break;
    case Err:
        out->xltype = Err;
        out->val.err = static_cast<uint16_t>(c.error);
        break;
    default:
        out->xltype = Nil;
        break;
    }
}

// The sheet and rectangle of a reference record; false when it is none.
bool area_of(const Oper* x, unsigned* sheet, Ref* area) {
    if (type_of(x) == SRef) {
        *sheet = model().active;
        *area = x->val.sref.ref;
    } else if (type_of(x) == RefType) {
        if (x->val.mref.lpmref == nullptr || x->val.mref.lpmref->count != 1) return false;
        *sheet = static_cast<unsigned>(x->val.mref.idSheet);
        *area = x->val.mref.lpmref->reftbl[0];
    } else {
        return false;
    }
    return model().sheets.count(*sheet) != 0 && area->rwFirst <= area->rwLast &&
           area->colFirst <= area->colLast;
}

const Cell* find_cell(unsigned sheet, int row, int column) {
    auto it = model().cells.find(Address(sheet, row, column));
    return it == model().cells.end() ? nullptr : &it->second;
}

// A scalar record as a cell value; false for records no cell can hold.
bool oper_to_cell(const Oper* x, Cell* c) {
    switch (type_of(x)) {
    case Num:
        c->type = Num;
        c->number = x->val.num;
        return true;
    case Int:
        c->type = Num;
        c->number = x->val.w;
        return true;
    case Str:
        c->type = Str;
        c->text = counted_text(x);
        return true;
    case Bool:
        c->type = Bool;
        c->number = x->val.xbool != 0;
        return true;
    case Err:
        c->type = Err;
        c->error = x->val.err;
        return true;
    case Nil:
    case Missing:
        c->type = 0;
        return true;
    default:
        return false;
    }
}

int coerce_to_multi(const Oper* source, Oper* result) {
    Model& m = model();
    std::vector<Cell> values;
    int rows = 1, columns = 1;
    unsigned sheet;
    Ref area;
    uint16_t type = type_of(source);
    if (type == SRef || type == RefType) {
        if (!area_of(source, &sheet, &area)) return RetInvXloper;
        rows = area.rwLast - area.rwFirst + 1;
        columns = area.colLast - area.colFirst + 1;
        for (int r = area.rwFirst; r <= area.rwLast; ++r)
            for (int c = area.colFirst; c <= area.colLast; ++c) {
                const Cell* cell = find_cell(sheet, r, c);
                if (cell != nullptr && cell->uncalced) return RetUncalced;
                values.push_back(cell != nullptr ? *cell : Cell());
            }
    } else if (type == Multi) {
        rows = source->val.array.rows;
        columns = source->val.array.columns;
        for (int i = 0; i < rows * columns; ++i) {
            Cell c;
            if (!oper_to_cell(&source->val.array.lparray[i], &c)) return RetInvXloper;
            values.push_back(c);
        }
    } else {
        Cell c;
        if (type == Missing || !oper_to_cell(source, &c)) return RetInvXloper;
        values.push_back(c);
    }
    Oper* array = new Oper[values.size()];
    std::vector<char*> texts;
    for (size_t i = 0; i < values.size(); ++i)
        cell_to_oper(values[i], &array[i], &texts);
    m.arrays[array] = texts;
    result->xltype = Multi;
    result->val.array.lparray = array;
    result->val.array.rows = static_cast<uint16_t>(rows);
    result->val.array.columns = static_cast<uint16_t>(columns);
    return RetSuccess;
}

int coerce_to_int(const Oper* source, Oper* result) {
    Cell c;
    unsigned sheet;
    Ref area;
    if (type_of(source) == SRef || type_of(source) == RefType) {
        if (!area_of(source, &sheet, &area)) return RetInvXloper;
        const Cell* first = find_cell(sheet, area.rwFirst, area.colFirst);
        if (first != nullptr && first->uncalced) return RetUncalced;
        if (first != nullptr) c = *first;
    } else if (!oper_to_cell(source, &c)) {
        return RetInvXloper;
    }
    double value;
    if (c.type == Num || c.type == Bool)
        value = c.number;
    else if (c.type == 0)
        value = 0;
    else if (c.type == Str) {
        char* end = nullptr;
        value = strtod(c.text.c_str(), &end);
        if (c.text.empty() || *end != '\0') return RetInvXloper;
    } else
        return RetInvXloper;
    if (!(std::fabs(value) < 32768)) return RetInvXloper;
    result->xltype = Int;
    result->val.w = static_cast<int16_t>(value);
    return RetSuccess;
}

int coerce(int count, Oper** args, Oper* result) {
    if (count < 1 || args[0] == nullptr || result == nullptr) return RetInvCount;
    uint16_t wanted = Multi;
    if (count >= 2) {
        if (type_of(args[1]) != Int) return RetInvXloper;
        wanted = static_cast<uint16_t>(args[1]->val.w);
    }
    if (wanted == Multi) return coerce_to_multi(args[0], result);
    if (wanted == Int) return coerce_to_int(args[0], result);
    return RetFailed;
}

int set_cells(int count, Oper** args) {
    Model& m = model();
    if (count < 1) return RetInvCount;
    unsigned sheet;
    Ref area;
    if (!area_of(args[0], &sheet, &area)) return RetInvXloper;
    Cell value;
    if (count >= 2 && !oper_to_cell(args[1], &value)) return RetInvXloper;
    ++m.set_calls;
    for (int r = area.rwFirst; r <= area.rwLast; ++r)
        for (int c = area.colFirst; c <= area.colLast; ++c) {
            if (value.type == 0)
                m.cells.erase(Address(sheet, r, c));
            else
                m.cells[Address(sheet, r, c)] = value;
        }
    return RetSuccess;
}

int free_records(int count, Oper** args) {
    Model& m = model();
    for (int i = 0; i < count; ++i) {
        Oper* x = args[i];
        if (type_of(x) == Str) {
            auto it = m.texts.find(x->val.str);
            if (it == m.texts.end()) {
                fault("xlFree of a text Excel did not hand out");
                continue;
            }
            delete[] * it;
            m.texts.erase(it);
            x->val.str = nullptr;
        } else if (type_of(x) == Multi) {
            auto it = m.arrays.find(x->val.array.lparray);
            if (it == m.arrays.end()) {
                fault("xlFree of an array Excel did not hand out");
                continue;
            }
            for (char* t : it->second)
                delete[] t;
            delete[] it->first;
            m.arrays.erase(it);
            x->val.array.lparray = nullptr;
        }
    }
    return RetSuccess;
}

int dispatch(int function, Oper* result, int count, Oper** args) {
    Model& m = model();
    for (int i = 0; i < count; ++i)
        if (args[i] == nullptr) {
            fault("null argument " + std::to_string(i) + " to function " +
                  std::to_string(function));
            return RetInvXloper;
        }
    switch (function) {
    case GetName:
        if (result == nullptr) return RetFailed;
        result->xltype = Str;
        result->val.str = new_text(m.dll_name);
        m.texts.insert(result->val.str);
        return RetSuccess;
    case SheetId:
        if (count != 0 || result == nullptr) return RetFailed;
        result->xltype = RefType;
        result->val.mref.lpmref = nullptr;
        result->val.mref.idSheet = m.active;
        return RetSuccess;
    case FnRegister: {
        Registration r;
        for (int i = 0; i < count; ++i) {
            bool text = type_of(args[i]) == Str && args[i]->val.str != nullptr;
            r.is_text.push_back(text);
            r.bytes.push_back(
                text ? std::string(args[i]->val.str,
                                   static_cast<unsigned char>(args[i]->val.str[0]) + 1u)
                     : std::string());
        }
        m.registrations.push_back(r);
        bool refused = count >= 2 && r.is_text[1] && m.refused.count(r.bytes[1].substr(1)) != 0;
        if (result != nullptr) {
            if (refused) {
                result->xltype = Err;
                result->val.err = ErrValue;
            } else {
                result->xltype = Num;
                result->val.num = 1000.0 + static_cast<double>(m.registrations.size());
            }
        }
        return RetSuccess;
    }
    case Free:
        return free_records(count, args);
    case Coerce:
        return coerce(count, args, result);
    case Set:
        return set_cells(count, args);
    case CmdAlert: {
        if (count < 1 || type_of(args[0]) != Str) return RetInvXloper;
        int type = 2;
        if (count >= 2)
            type = type_of(args[1]) == Int ? args[1]->val.w : static_cast<int>(args[1]->val.num);
        m.alerts.push_back({counted_text(args[0]), type});
        return RetSuccess;
    }
    case FnSetName:
        if (count < 1 || type_of(args[0]) != Str) return RetInvXloper;
        m.set_names.push_back({counted_text(args[0]), count});
        return RetSuccess;
    case Abort: {
        // Optional argument: FALSE clears a pending break after reporting it.
        if (count > 1) return RetInvCount;
        if (count == 1 && type_of(args[0]) != Bool) return RetInvXloper;
        if (++m.abort_checks == m.escape_at) m.break_pending = true;
        bool pressed = m.break_pending;
        if (count == 1 && args[0]->val.xbool == 0) m.break_pending = false;
        if (result != nullptr) {
            result->xltype = Bool;
            result->val.xbool = pressed ? 1 : 0;
        }
        return RetSuccess;
    }
    case CmdMessage: {
        // MESSAGE(TRUE, text) shows the text; MESSAGE(FALSE) gives the bar back.
        if (count < 1 || count > 2) return RetInvCount;
        if (type_of(args[0]) != Bool) return RetInvXloper;
        if (args[0]->val.xbool == 0) {
            m.status.push_back({"", 0});
            return RetSuccess;
        }
        if (count < 2 || type_of(args[1]) != Str) return RetInvXloper;
        m.status.push_back({counted_text(args[1]), 1});
        return RetSuccess;
    }
    default:
        return RetInvXlfn;
    }
}

int copy_out(const std::string& text, char* out, int size) {
    if (size <= 0) return static_cast<int>(text.size());
    size_t n =
        text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<int>(text.size());
}

} // namespace

extern "C" {

int EXCEL_STDCALL Excel4v(int function, Oper* result, int count, Oper* arguments[]) {
    Model& m = model();
    m.calls.push_back({function, count});
    if (count < 0 || count > 30) return RetInvCount;
    auto fail = m.fail_after.find(function);
    if (fail != m.fail_after.end() && fail->second-- == 0) {
        m.fail_after.erase(fail);
        return RetFailed;
    }
    return dispatch(function, result, count, arguments);
}

int Excel4(int function, Oper* result, int count, ...) {
    Oper* arguments[30];
    if (count < 0 || count > 30) return RetInvCount;
    va_list list;
    va_start(list, count);
    for (int i = 0; i < count; ++i)
        arguments[i] = va_arg(list, Oper*);
    va_end(list);
    return Excel4v(function, result, count, arguments);
}

void fake_reset() {
    Model& m = model();
    for (char* t : m.texts)
        delete[] t;
    for (auto& a : m.arrays) {
        for (char* t : a.second)
            delete[] t;
        delete[] a.first;
    }
    m = Model();
}

void fake_set_active_sheet(unsigned sheet) {
    model().sheets.insert(sheet);
    model().active = sheet;
}

void fake_add_sheet(unsigned sheet) {
    model().sheets.insert(sheet);
}

void fake_set_dll_name(const char* name) {
    model().dll_name = name;
}

void fake_set_number(unsigned sheet, int row, int column, double value) {
    Cell c;
    c.type = Num;
    c.number = value;
    model().cells[Address(sheet, row, column)] = c;
}

void fake_set_text(unsigned sheet, int row, int column, const char* text) {
    Cell c;
    c.type = Str;
    c.text = std::string(text).substr(0, 255);
    model().cells[Address(sheet, row, column)] = c;
}

void fake_set_error(unsigned sheet, int row, int column, int error) {
    Cell c;
    c.type = Err;
    c.error = error;
    model().cells[Address(sheet, row, column)] = c;
}

void fake_set_bool(unsigned sheet, int row, int column, int value) {
    Cell c;
    c.type = Bool;
    c.number = value != 0;
    model().cells[Address(sheet, row, column)] = c;
}

void fake_set_uncalced(unsigned sheet, int row, int column) {
    model().cells[Address(sheet, row, column)].uncalced = true;
}

void fake_cell(unsigned sheet, int row, int column, FakeCell* out) {
    *out = FakeCell();
    const Cell* c = find_cell(sheet, row, column);
    if (c == nullptr) return;
    out->type = c->type;
    out->number = c->number;
    out->error = c->error;
    out->length = static_cast<int>(c->text.size());
    copy_out(c->text, out->text, sizeof out->text);
}

int fake_cell_count(unsigned sheet) {
    int n = 0;
    for (const auto& c : model().cells)
        if (std::get<0>(c.first) == sheet && c.second.type != 0) ++n;
    return n;
}

int fake_call_count() {
    return static_cast<int>(model().calls.size());
}
int fake_call_function(int index) {
    return model().calls.at(static_cast<size_t>(index)).first;
}
int fake_call_arguments(int index) {
    return model().calls.at(static_cast<size_t>(index)).second;
}

int fake_registration_count() {
    return static_cast<int>(model().registrations.size());
}

int fake_registration_argument_count(int index) {
    return static_cast<int>(model().registrations.at(static_cast<size_t>(index)).bytes.size());
}

int fake_registration_bytes(int index, int argument, unsigned char* out, int size) {
    const Registration& r = model().registrations.at(static_cast<size_t>(index));
    if (!r.is_text.at(static_cast<size_t>(argument))) return -1;
    const std::string& b = r.bytes[static_cast<size_t>(argument)];
    size_t n = b.size() < static_cast<size_t>(size) ? b.size() : static_cast<size_t>(size);
    memcpy(out, b.data(), n);
    return static_cast<int>(b.size());
}

void fake_refuse_registration(const char* procedure) {
    model().refused.insert(procedure);
}

int fake_alert_count() {
    return static_cast<int>(model().alerts.size());
}

int fake_alert(int index, char* text, int size) {
    const auto& a = model().alerts.at(static_cast<size_t>(index));
    copy_out(a.first, text, size);
    return a.second;
}

int fake_set_name_count() {
    return static_cast<int>(model().set_names.size());
}

int fake_set_name(int index, char* text, int size) {
    const auto& s = model().set_names.at(static_cast<size_t>(index));
    copy_out(s.first, text, size);
    return s.second;
}

void fake_fail_function(int function, int successes) {
    if (successes < 0)
        model().fail_after.erase(function);
    else
        model().fail_after[function] = successes;
}

int fake_set_call_count() {
    return model().set_calls;
}

void fake_press_escape_at(int check) {
    Model& m = model();
    m.escape_at = check > 0 ? m.abort_checks + check : 0;
    if (check <= 0) m.break_pending = false;
}

int fake_abort_checks() {
    return model().abort_checks;
}

int fake_status_count() {
    return static_cast<int>(model().status.size());
}

int fake_status(int index, char* text, int size) {
    const auto& s = model().status.at(static_cast<size_t>(index));
    copy_out(s.first, text, size);
    return s.second;
}

int fake_outstanding() {
    return static_cast<int>(model().texts.size() + model().arrays.size());
}

int fake_faults(char* text, int size) {
    return copy_out(model().faults, text, size);
}

} // extern "C"
