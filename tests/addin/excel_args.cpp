#include "excel_args.h"

#include "platform/utf8.h"

#include <cstddef>
#include <cstring>
#include <sstream>

using namespace excel;

namespace {

template <class R> constexpr size_t text_max = sizeof(typename R::Char) == 1 ? 255 : TEXT_MAX12;

} // namespace

template <class R> R* OperBuilder<R>::add(const R& x) {
    opers_.push_back(x);
    return &opers_.back();
}

template <class R> R* OperBuilder<R>::str(const Text& text) {
    using C = typename R::Char;
    Text cut = text.substr(0, text_max<R>);
    texts_.push_back(Text(1, static_cast<C>(cut.size())) + cut);
    R x{};
    x.xltype = Str;
    x.val.str = texts_.back().data();
    return add(x);
}

template <class R> R* OperBuilder<R>::num(double value) {
    R x{};
    x.xltype = Num;
    x.val.num = value;
    return add(x);
}

template <class R> R* OperBuilder<R>::integer(int value) {
    R x{};
    x.xltype = Int;
    x.val.w = static_cast<decltype(x.val.w)>(value);
    return add(x);
}

template <class R> R* OperBuilder<R>::boolean(bool value) {
    R x{};
    x.xltype = Bool;
    x.val.xbool = value ? 1 : 0;
    return add(x);
}

template <class R> R* OperBuilder<R>::err(uint16_t error) {
    R x{};
    x.xltype = Err;
    x.val.err = error;
    return add(x);
}

template <class R> R* OperBuilder<R>::missing() {
    R x{};
    x.xltype = Missing;
    return add(x);
}

template <class R> R* OperBuilder<R>::nil() {
    R x{};
    x.xltype = Nil;
    return add(x);
}

template <class R>
R* OperBuilder<R>::sref(long rw_first, long rw_last, long col_first, long col_last) {
    using Row = decltype(Ref::rwFirst);
    using Column = decltype(Ref::colFirst);
    R x{};
    x.xltype = SRef;
    x.val.sref.count = 1;
    x.val.sref.ref = {static_cast<Row>(rw_first), static_cast<Row>(rw_last),
                      static_cast<Column>(col_first), static_cast<Column>(col_last)};
    return add(x);
}

template <class R>
R* OperBuilder<R>::ref(unsigned sheet, long rw_first, long rw_last, long col_first, long col_last) {
    using Row = decltype(Ref::rwFirst);
    using Column = decltype(Ref::colFirst);
    return ref_areas(sheet, {{static_cast<Row>(rw_first), static_cast<Row>(rw_last),
                              static_cast<Column>(col_first), static_cast<Column>(col_last)}});
}

template <class R> R* OperBuilder<R>::ref_areas(unsigned sheet, const std::vector<Ref>& areas) {
    using MRef = typename R::MRefType;
    // An MRef holds its count and then the areas back to back.
    const size_t at = offsetof(MRef, reftbl);
    areas_.emplace_back(at + areas.size() * sizeof(Ref) + sizeof(Ref));
    unsigned char* p = areas_.back().data();
    uint16_t count = static_cast<uint16_t>(areas.size());
    memcpy(p, &count, 2);
    if (!areas.empty()) memcpy(p + at, areas.data(), areas.size() * sizeof(Ref));
    R x{};
    x.xltype = RefType;
    x.val.mref.lpmref = reinterpret_cast<MRef*>(p);
    x.val.mref.idSheet = sheet;
    return add(x);
}

template <class R>
R* OperBuilder<R>::multi(int rows, int columns, const std::vector<R*>& elements) {
    std::vector<R> copy;
    for (const R* e : elements)
        copy.push_back(*e);
    arrays_.push_back(copy);
    R x{};
    x.xltype = Multi;
    x.val.array.lparray = arrays_.back().data();
    x.val.array.rows = static_cast<decltype(x.val.array.rows)>(rows);
    x.val.array.columns = static_cast<decltype(x.val.array.columns)>(columns);
    return add(x);
}

template class OperBuilder<Oper>;
template class OperBuilder<Oper12>;

std::string err_text(uint16_t error) {
    return "err " + std::to_string(error);
}
std::string int_text(int value) {
    return "int " + std::to_string(value);
}
std::string str_text(const std::string& text) {
    return "str [" + text + "]";
}

std::string to_utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        // A surrogate pair is one character; a lone surrogate shows as '?'.
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        utf8::append(out, cp);
    }
    return out;
}

namespace {

std::string text_of(const char* counted) {
    return std::string(counted + 1, static_cast<unsigned char>(counted[0]));
}
std::string text_of(const char16_t* counted) {
    return to_utf8(std::u16string(counted + 1, counted[0]));
}

template <class R> std::string describe_record(const R* x) {
    if (x == nullptr) return "null";
    std::ostringstream out;
    switch (x->xltype & ~(XLFreeBit | DLLFreeBit)) {
    case Num:
        out << "num " << x->val.num;
        break;
    case Str:
        out << str_text(x->val.str == nullptr ? "(null)" : text_of(x->val.str));
        break;
    case Bool:
        out << "bool " << x->val.xbool;
        break;
    case Err:
        out << err_text(static_cast<uint16_t>(x->val.err));
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

} // namespace

std::string describe(const Oper* x) {
    return describe_record(x);
}

std::string describe(const Oper12* x) {
    return describe_record(x);
}
