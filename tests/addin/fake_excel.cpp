// The fake Excel behind Excel4, Excel4v and the Excel 12 entry: the records
// of both interfaces over one sheet model. See fake_excel.h.
#include "fake_excel.h"
#include "fake_sheet.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <type_traits>

using namespace excel;
using namespace fake;

namespace {

// What differs between the records of the two interfaces.
template <class R> struct Form;
template <> struct Form<Oper> {
    static constexpr int interface = 4;
    static constexpr int last_row = 65535, last_column = 255, text_max = 255;
    static constexpr double int_limit = 32768; // xltypeInt: 16 bits
};
template <> struct Form<Oper12> {
    static constexpr int interface = 12;
    static constexpr int last_row = LAST_ROW12, last_column = LAST_COLUMN12, text_max = TEXT_MAX12;
    static constexpr double int_limit = 2147483648.0;
};

// A rectangle of either interface.
struct Area {
    long rw_first, rw_last, col_first, col_last;
};

template <class R> uint16_t type_of(const R* x) {
    return static_cast<uint16_t>(x->xltype & ~(XLFreeBit | DLLFreeBit));
}

// A counted text's characters, as UTF-16.
std::u16string units_of(const char* counted) {
    return widen(std::string(counted + 1, static_cast<unsigned char>(counted[0])));
}
std::u16string units_of(const char16_t* counted) {
    return std::u16string(counted + 1, counted[0]);
}

template <class R> std::u16string counted_text(const R* x) {
    if (x->val.str == nullptr) {
        fault("text record with a null pointer");
        return u"";
    }
    return units_of(x->val.str);
}

// The counted units exactly as the add-in laid them out, length first.
template <class R> std::u16string raw_units(const R* x) {
    using C = typename R::Char;
    const C* p = x->val.str;
    size_t n = static_cast<std::make_unsigned_t<C>>(p[0]);
    std::u16string out;
    for (size_t i = 0; i <= n; ++i)
        out += static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(p[i]));
    return out;
}

// A counted text that Excel owns until xlFree, cut to what a cell holds.
template <class R> typename R::Char* new_text(const std::u16string& text) {
    using C = typename R::Char;
    std::u16string cut = text.substr(0, Form<R>::text_max);
    std::shared_ptr<C> block(new C[cut.size() + 2], std::default_delete<C[]>());
    C* p = block.get();
    if constexpr (std::is_same_v<C, char>) {
        std::string bytes = narrow(cut);
        memcpy(p + 1, bytes.data(), bytes.size());
    } else {
        std::copy(cut.begin(), cut.end(), p + 1);
    }
    p[0] = static_cast<C>(cut.size());
    p[cut.size() + 1] = 0;
    model().texts[p] = block;
    return p;
}

template <class R> void cell_to_oper(const Cell& c, R* out, Owned* owner) {
    switch (c.type) {
    case Num:
        out->xltype = Num;
        out->val.num = c.number;
        break;
    case Str:
        out->xltype = Str;
        out->val.str = new_text<R>(c.text);
        // The text belongs to the array: xlFree of the array gives it back.
        owner->texts.push_back(model().texts[out->val.str]);
        model().texts.erase(out->val.str);
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

// The rectangle reaches beyond the interface's sheet.
template <class R> bool beyond_sheet(const Area& a) {
    return a.rw_first < 0 || a.col_first < 0 || a.rw_last > Form<R>::last_row ||
           a.col_last > Form<R>::last_column;
}

// The sheet and rectangle of a reference record; false when it is none, or
// one no sheet of this Excel has.
template <class R> bool area_of(const R* x, unsigned* sheet, Area* area) {
    if (type_of(x) == SRef) {
        *sheet = model().active;
        const auto& r = x->val.sref.ref;
        *area = {r.rwFirst, r.rwLast, r.colFirst, r.colLast};
    } else if (type_of(x) == RefType) {
        if (x->val.mref.lpmref == nullptr || x->val.mref.lpmref->count != 1) return false;
        *sheet = static_cast<unsigned>(x->val.mref.idSheet);
        const auto& r = x->val.mref.lpmref->reftbl[0];
        *area = {r.rwFirst, r.rwLast, r.colFirst, r.colLast};
    } else {
        return false;
    }
    return model().sheets.count(*sheet) != 0 && area->rw_first <= area->rw_last &&
           area->col_first <= area->col_last && !beyond_sheet<R>(*area);
}

// A scalar record as a cell value; false for records no cell can hold.
template <class R> bool oper_to_cell(const R* x, Cell* c) {
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

template <class R> int coerce_to_multi(const R* source, R* result) {
    std::vector<Cell> values;
    long rows = 1, columns = 1;
    unsigned sheet;
    Area area{};
    uint16_t type = type_of(source);
    if (type == SRef || type == RefType) {
        if (!area_of(source, &sheet, &area)) return RetInvXloper;
        rows = area.rw_last - area.rw_first + 1;
        columns = area.col_last - area.col_first + 1;
        for (long r = area.rw_first; r <= area.rw_last; ++r)
            for (long c = area.col_first; c <= area.col_last; ++c) {
                const Cell* cell = find_cell(sheet, static_cast<int>(r), static_cast<int>(c));
                if (cell != nullptr && cell->uncalced) return RetUncalced;
                values.push_back(cell != nullptr ? *cell : Cell());
            }
    } else if (type == Multi) {
        rows = source->val.array.rows;
        columns = source->val.array.columns;
        for (long i = 0; i < rows * columns; ++i) {
            Cell c;
            if (!oper_to_cell(&source->val.array.lparray[i], &c)) return RetInvXloper;
            values.push_back(c);
        }
    } else {
        Cell c;
        if (type == Missing || !oper_to_cell(source, &c)) return RetInvXloper;
        values.push_back(c);
    }
    std::shared_ptr<R> array(new R[values.size()], std::default_delete<R[]>());
    Owned owned;
    owned.block = array;
    for (size_t i = 0; i < values.size(); ++i)
        cell_to_oper(values[i], &array.get()[i], &owned);
    model().arrays[array.get()] = owned;
    result->xltype = Multi;
    result->val.array.lparray = array.get();
    result->val.array.rows = static_cast<decltype(result->val.array.rows)>(rows);
    result->val.array.columns = static_cast<decltype(result->val.array.columns)>(columns);
    return RetSuccess;
}

template <class R> int coerce_to_int(const R* source, R* result) {
    Cell c;
    unsigned sheet;
    Area area{};
    if (type_of(source) == SRef || type_of(source) == RefType) {
        if (!area_of(source, &sheet, &area)) return RetInvXloper;
        const Cell* first =
            find_cell(sheet, static_cast<int>(area.rw_first), static_cast<int>(area.col_first));
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
        std::string text = narrow(c.text);
        char* end = nullptr;
        value = strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') return RetInvXloper;
    } else
        return RetInvXloper;
    if (!(std::fabs(value) < Form<R>::int_limit)) return RetInvXloper;
    result->xltype = Int;
    result->val.w = static_cast<decltype(result->val.w)>(value);
    return RetSuccess;
}

template <class R> int coerce(int count, R** args, R* result) {
    if (count < 1 || args[0] == nullptr || result == nullptr) return RetInvCount;
    long wanted = Multi;
    if (count >= 2) {
        if (type_of(args[1]) != Int) return RetInvXloper;
        wanted = args[1]->val.w;
    }
    if (wanted == Multi) return coerce_to_multi(args[0], result);
    if (wanted == Int) return coerce_to_int(args[0], result);
    return RetFailed;
}

// Empties the cells of a rectangle: an area larger than the cells held
// walks the cells held, so that a whole column costs no more than its values.
void erase_area(unsigned sheet, const Area& area) {
    Model& m = model();
    double size = static_cast<double>(area.rw_last - area.rw_first + 1) *
                  static_cast<double>(area.col_last - area.col_first + 1);
    if (size <= static_cast<double>(m.cells.size())) {
        for (long r = area.rw_first; r <= area.rw_last; ++r)
            for (long c = area.col_first; c <= area.col_last; ++c)
                m.cells.erase(Address(sheet, static_cast<int>(r), static_cast<int>(c)));
        return;
    }
    auto it = m.cells.lower_bound(Address(sheet, static_cast<int>(area.rw_first), 0));
    auto end = m.cells.upper_bound(Address(sheet, static_cast<int>(area.rw_last), 1 << 30));
    while (it != end) {
        int column = std::get<2>(it->first);
        if (column >= area.col_first && column <= area.col_last)
            it = m.cells.erase(it);
        else
            ++it;
    }
}

template <class R> int set_cells(int count, R** args) {
    Model& m = model();
    if (count < 1) return RetInvCount;
    unsigned sheet;
    Area area{};
    if (!area_of(args[0], &sheet, &area)) {
        // The add-in must never name a cell beyond the sheet (a wrapped row or column).
        if ((type_of(args[0]) == SRef || type_of(args[0]) == RefType) && beyond_sheet<R>(area))
            fault("xlSet beyond the sheet");
        return RetInvXloper;
    }
    Cell value;
    if (count >= 2 && !oper_to_cell(args[1], &value)) return RetInvXloper;
    ++m.set_calls;
    if (value.type == 0) {
        erase_area(sheet, area);
        return RetSuccess;
    }
    for (long r = area.rw_first; r <= area.rw_last; ++r)
        for (long c = area.col_first; c <= area.col_last; ++c)
            m.cells[Address(sheet, static_cast<int>(r), static_cast<int>(c))] = value;
    return RetSuccess;
}

template <class R> int free_records(int count, R** args) {
    Model& m = model();
    for (int i = 0; i < count; ++i) {
        R* x = args[i];
        if (type_of(x) == Str) {
            if (m.texts.erase(x->val.str) == 0) {
                fault("xlFree of a text Excel did not hand out");
                continue;
            }
            x->val.str = nullptr;
        } else if (type_of(x) == Multi) {
            if (m.arrays.erase(x->val.array.lparray) == 0) {
                fault("xlFree of an array Excel did not hand out");
                continue;
            }
            x->val.array.lparray = nullptr;
        }
    }
    return RetSuccess;
}

template <class R> int register_function(int count, R** args, R* result) {
    Model& m = model();
    Registration r;
    r.interface = Form<R>::interface;
    for (int i = 0; i < count; ++i) {
        bool text = type_of(args[i]) == Str && args[i]->val.str != nullptr;
        r.is_text.push_back(text);
        r.units.push_back(text ? raw_units(args[i]) : std::u16string());
    }
    m.registrations.push_back(r);
    bool refused = count >= 2 && r.is_text[1] && m.refused.count(narrow(r.units[1].substr(1))) != 0;
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

template <class R> int dispatch(int function, R* result, int count, R** args) {
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
        result->val.str = new_text<R>(widen(m.dll_name));
        return RetSuccess;
    case SheetId:
        if (count != 0 || result == nullptr) return RetFailed;
        result->xltype = RefType;
        result->val.mref.lpmref = nullptr;
        result->val.mref.idSheet = m.active;
        return RetSuccess;
    case FnRegister:
        return register_function(count, args, result);
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
            type = type_of(args[1]) == Int ? static_cast<int>(args[1]->val.w)
                                           : static_cast<int>(args[1]->val.num);
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
            m.status.push_back({u"", 0});
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

// One call through either interface: logged, failed when a test said so.
template <class R> int run(int function, R* result, int count, R** arguments) {
    Model& m = model();
    m.calls.push_back({function, count, Form<R>::interface});
    if (count < 0 || count > 30) return RetInvCount;
    auto fail = m.fail_after.find(function);
    if (fail != m.fail_after.end() && fail->second-- == 0) {
        m.fail_after.erase(fail);
        return RetFailed;
    }
    return dispatch(function, result, count, arguments);
}

} // namespace

extern "C" {

int EXCEL_STDCALL Excel4v(int function, Oper* result, int count, Oper* arguments[]) {
    return run(function, result, count, arguments);
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

int fake_excel12(int function, int count, Oper12* arguments[], Oper12* result) {
    return run(function, result, count, arguments);
}

} // extern "C"
