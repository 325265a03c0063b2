// The fake Excel's sheet model and the test-only calls that seed and read
// it. See fake_excel.h.
#include "fake_excel.h"
#include "fake_sheet.h"

#include "platform/windows_ansi.h"

#include <algorithm>
#include <cstring>

using namespace excel;
using namespace fake;

namespace fake {

Model& model() {
    static Model m;
    return m;
}

void fault(const std::string& what) {
    model().faults += what + "\n";
}

const Cell* find_cell(unsigned sheet, int row, int column) {
    auto it = model().cells.find(Address(sheet, row, column));
    return it == model().cells.end() ? nullptr : &it->second;
}

std::u16string widen(const std::string& text) {
    std::u16string out;
    for (char c : text)
        out += windows_ansi::to_utf16(static_cast<unsigned char>(c));
    return out;
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        int byte = windows_ansi::from_utf16(unit);
        out += static_cast<char>(byte < 0 ? '?' : byte);
    }
    return out;
}

} // namespace fake

namespace {

int copy_out(const std::string& text, char* out, int size) {
    if (size <= 0) return static_cast<int>(text.size());
    size_t n =
        text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<int>(text.size());
}

const Registration& registration(int index) {
    return model().registrations.at(static_cast<size_t>(index));
}

// The units of a registration's argument; null when it is no text.
const std::u16string* registered_units(int index, int argument) {
    const Registration& r = registration(index);
    if (!r.is_text.at(static_cast<size_t>(argument))) return nullptr;
    return &r.units[static_cast<size_t>(argument)];
}

// A registration's argument into at most `size` units of `out` (bytes
// through the 4 interface); its whole length, or -1 when it is no text.
template <class C> int copy_registered(int index, int argument, C* out, int size) {
    const std::u16string* units = registered_units(index, argument);
    if (units == nullptr) return -1;
    size_t n = std::min(units->size(), static_cast<size_t>(size));
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<C>((*units)[i]);
    return static_cast<int>(units->size());
}

void set_cell(unsigned sheet, int row, int column, const Cell& c) {
    model().cells[Address(sheet, row, column)] = c;
}

} // namespace

extern "C" {

void fake_reset() {
    model() = Model();
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
    set_cell(sheet, row, column, c);
}

void fake_set_text(unsigned sheet, int row, int column, const char* text) {
    Cell c;
    c.type = Str;
    c.text = widen(std::string(text).substr(0, 255));
    set_cell(sheet, row, column, c);
}

void fake_set_text12(unsigned sheet, int row, int column, const char16_t* text, int length) {
    Cell c;
    c.type = Str;
    c.text = std::u16string(text, static_cast<size_t>(length)).substr(0, TEXT_MAX12);
    set_cell(sheet, row, column, c);
}

void fake_set_error(unsigned sheet, int row, int column, int error) {
    Cell c;
    c.type = Err;
    c.error = error;
    set_cell(sheet, row, column, c);
}

void fake_set_bool(unsigned sheet, int row, int column, int value) {
    Cell c;
    c.type = Bool;
    c.number = value != 0;
    set_cell(sheet, row, column, c);
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
    copy_out(narrow(c->text), out->text, sizeof out->text);
}

int fake_cell_text12(unsigned sheet, int row, int column, char16_t* out, int size) {
    const Cell* c = find_cell(sheet, row, column);
    if (c == nullptr || c->type != Str) return -1;
    size_t n = size <= 0 ? 0 : std::min(c->text.size(), static_cast<size_t>(size - 1));
    if (size > 0) {
        std::copy(c->text.begin(), c->text.begin() + static_cast<long>(n), out);
        out[n] = 0;
    }
    return static_cast<int>(c->text.size());
}

int fake_cell_count(unsigned sheet) {
    int n = 0;
    const auto& cells = model().cells;
    auto end = cells.lower_bound(Address(sheet + 1, -1, -1));
    for (auto it = cells.lower_bound(Address(sheet, -1, -1)); it != end; ++it)
        if (it->second.type != 0) ++n;
    return n;
}

int fake_call_count() {
    return static_cast<int>(model().calls.size());
}
int fake_call_function(int index) {
    return model().calls.at(static_cast<size_t>(index)).function;
}
int fake_call_arguments(int index) {
    return model().calls.at(static_cast<size_t>(index)).count;
}
int fake_call_interface(int index) {
    return model().calls.at(static_cast<size_t>(index)).interface;
}

int fake_registration_count() {
    return static_cast<int>(model().registrations.size());
}

int fake_registration_interface(int index) {
    return registration(index).interface;
}

int fake_registration_argument_count(int index) {
    return static_cast<int>(registration(index).units.size());
}

int fake_registration_bytes(int index, int argument, unsigned char* out, int size) {
    return copy_registered(index, argument, out, size);
}

int fake_registration_units(int index, int argument, char16_t* out, int size) {
    return copy_registered(index, argument, out, size);
}

void fake_refuse_registration(const char* procedure) {
    model().refused.insert(procedure);
}

int fake_alert_count() {
    return static_cast<int>(model().alerts.size());
}

int fake_alert(int index, char* text, int size) {
    const auto& a = model().alerts.at(static_cast<size_t>(index));
    copy_out(narrow(a.first), text, size);
    return a.second;
}

int fake_set_name_count() {
    return static_cast<int>(model().set_names.size());
}

int fake_set_name(int index, char* text, int size) {
    const auto& s = model().set_names.at(static_cast<size_t>(index));
    copy_out(narrow(s.first), text, size);
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
    copy_out(narrow(s.first), text, size);
    return s.second;
}

int fake_outstanding() {
    return static_cast<int>(model().texts.size() + model().arrays.size());
}

int fake_faults(char* text, int size) {
    return copy_out(model().faults, text, size);
}

} // extern "C"
