#include "excel_args.h"

#include <cstring>
#include <sstream>

using namespace excel;

Oper* Opers::add(const Oper& x) {
    opers_.push_back(x);
    return &opers_.back();
}

Oper* Opers::str(const std::string& text) {
    std::string counted(1, static_cast<char>(text.size() > 255 ? 255 : text.size()));
    counted += text.substr(0, 255);
    texts_.push_back(counted);
    Oper x{};
    x.xltype = Str;
    x.val.str = texts_.back().data();
    return add(x);
}

Oper* Opers::num(double value) {
    Oper x{};
    x.xltype = Num;
    x.val.num = value;
    return add(x);
}

Oper* Opers::integer(int16_t value) {
    Oper x{};
    x.xltype = Int;
    x.val.w = value;
    return add(x);
}

Oper* Opers::boolean(bool value) {
    Oper x{};
    x.xltype = Bool;
    x.val.xbool = value ? 1 : 0;
    return add(x);
}

Oper* Opers::err(uint16_t error) {
    Oper x{};
    x.xltype = Err;
    x.val.err = error;
    return add(x);
}

Oper* Opers::missing() {
    Oper x{};
    x.xltype = Missing;
    return add(x);
}

Oper* Opers::nil() {
    Oper x{};
    x.xltype = Nil;
    return add(x);
}

Oper* Opers::sref(int rw_first, int rw_last, int col_first, int col_last) {
    Oper x{};
    x.xltype = SRef;
    x.val.sref.count = 1;
    x.val.sref.ref = {static_cast<uint16_t>(rw_first), static_cast<uint16_t>(rw_last),
                      static_cast<uint8_t>(col_first), static_cast<uint8_t>(col_last)};
    return add(x);
}

Oper* Opers::ref(unsigned sheet, int rw_first, int rw_last, int col_first, int col_last) {
    return ref_areas(sheet, {{static_cast<uint16_t>(rw_first), static_cast<uint16_t>(rw_last),
                              static_cast<uint8_t>(col_first), static_cast<uint8_t>(col_last)}});
}

Oper* Opers::ref_areas(unsigned sheet, const std::vector<Ref>& areas) {
    // An MRef holds its count and then the areas back to back.
    areas_.emplace_back(2 + areas.size() * sizeof(Ref) + sizeof(Ref));
    unsigned char* p = areas_.back().data();
    uint16_t count = static_cast<uint16_t>(areas.size());
    memcpy(p, &count, 2);
    if (!areas.empty()) memcpy(p + 2, areas.data(), areas.size() * sizeof(Ref));
    Oper x{};
    x.xltype = RefType;
    x.val.mref.lpmref = reinterpret_cast<MRef*>(p);
    x.val.mref.idSheet = sheet;
    return add(x);
}

Oper* Opers::multi(int rows, int columns, const std::vector<Oper*>& elements) {
    std::vector<Oper> copy;
    for (const Oper* e : elements)
        copy.push_back(*e);
    arrays_.push_back(copy);
    Oper x{};
    x.xltype = Multi;
    x.val.array.lparray = arrays_.back().data();
    x.val.array.rows = static_cast<uint16_t>(rows);
    x.val.array.columns = static_cast<uint16_t>(columns);
    return add(x);
}

std::string err_text(uint16_t error) {
    return "err " + std::to_string(error);
}
std::string int_text(int value) {
    return "int " + std::to_string(value);
}
std::string str_text(const std::string& text) {
    return "str [" + text + "]";
}

std::string describe(const Oper* x) {
    if (x == nullptr) return "null";
    std::ostringstream out;
    switch (x->xltype & ~(XLFreeBit | DLLFreeBit)) {
    case Num:
        out << "num " << x->val.num;
        break;
    case Str:
        out << str_text(
            x->val.str == nullptr
                ? "(null)"
                : std::string(x->val.str + 1, static_cast<unsigned char>(x->val.str[0])));
        break;
    case Bool:
        out << "bool " << x->val.xbool;
        break;
    case Err:
        out << err_text(x->val.err);
        break;
    case Int:
        out << int_text(x->val.w);
        break;
    case Nil:
        out << "nil";
        break;
    case Missing:
        out << "missing";
        break;
    default:
        out << "type " << x->xltype;
    }
    return out.str();
}
