#include "server/backends/date_text.h"

#include <cctype>
#include <cstdio>

namespace dorvd {
namespace {

bool contains_word(const char* declared_type, std::string_view word) {
    std::string upper;
    for (const char* p = declared_type; *p != '\0'; ++p) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return upper.find(word) != std::string::npos;
}

// Reads exactly count digits at pos.
bool read_number(std::string_view text, size_t& pos, size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

int days_in_month(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

struct Fields {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

bool read_date(std::string_view text, size_t& pos, Fields& f) {
    return read_number(text, pos, 4, f.year) && expect(text, pos, '-') &&
           read_number(text, pos, 2, f.month) && expect(text, pos, '-') &&
           read_number(text, pos, 2, f.day) && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= days_in_month(f.year, f.month);
}

// hh:mm[:ss[.fraction]] up to the end of the text.
bool read_time(std::string_view text, size_t& pos, Fields& f) {
    if (!read_number(text, pos, 2, f.hour) || !expect(text, pos, ':') ||
        !read_number(text, pos, 2, f.minute)) {
        return false;
    }
    if (pos < text.size()) {
        if (!expect(text, pos, ':') || !read_number(text, pos, 2, f.second)) return false;
        if (pos < text.size()) {
            if (!expect(text, pos, '.') || pos == text.size()) return false;
            while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
                ++pos;
        }
    }
    return pos == text.size() && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

} // namespace

TemporalKind temporal_kind(const char* declared_type) {
    if (declared_type == nullptr) return TemporalKind::none;
    if (contains_word(declared_type, "DATETIME") || contains_word(declared_type, "TIMESTAMP")) {
        return TemporalKind::datetime;
    }
    if (contains_word(declared_type, "DATE")) return TemporalKind::date;
    if (contains_word(declared_type, "TIME")) return TemporalKind::time;
    return TemporalKind::none;
}

std::optional<std::string> fourteen_digits(std::string_view text, TemporalKind kind) {
    if (kind == TemporalKind::none) return std::nullopt;
    Fields f;
    size_t pos = 0;
    const bool time_only = kind == TemporalKind::time && text.size() >= 3 && text[2] == ':';
    if (time_only) {
        if (!read_time(text, pos, f)) return std::nullopt;
    } else {
        if (!read_date(text, pos, f)) return std::nullopt;
        if (pos < text.size()) {
            if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
            ++pos;
            if (!read_time(text, pos, f)) return std::nullopt;
        }
    }
    char digits[80];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return std::string(digits);
}

} // namespace dorvd
