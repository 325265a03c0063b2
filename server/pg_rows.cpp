#include <cstring>

#include "server/pg_backend.h"
#include "server/result_builder.h"

namespace dorvd {
namespace {

// Type identifiers of PostgreSQL's built-in types (fixed in its catalog).
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kDate = 1082, kTime = 1083, kTimestamp = 1114, kTimestampTz = 1184,
              kNumeric = 1700;

void append_hex(const unsigned char* data, size_t bytes, std::string& out) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
}

// A timestamp with time zone reads as local time in the session's zone: the
// offset behind it ("+01", "-05:30") is left off, as the 14 digits have none.
std::string_view without_zone(std::string_view text) {
    const size_t time = text.find(':');
    if (time == std::string_view::npos) return text;
    const size_t sign = text.find_first_of("+-", time);
    return sign == std::string_view::npos ? text : text.substr(0, sign);
}

} // namespace

PgRows::PgRows(PgBackend& backend, const PGresult* shape, bool streaming)
    : backend_(backend), streaming_(streaming) {
    const int columns = PQnfields(shape);
    for (int c = 0; c < columns; ++c) {
        const char* name = PQfname(shape, c);
        names_.emplace_back(name == nullptr ? "" : name);
        switch (PQftype(shape, c)) {
        case kInt2:
        case kInt4:
        case kInt8:
        case kOid:
        case kFloat4:
        case kFloat8:
        case kNumeric:
            kinds_.push_back(Kind::number);
            break;
        case kDate:
            kinds_.push_back(Kind::date);
            break;
        case kTimestamp:
        case kTimestampTz:
            kinds_.push_back(Kind::datetime);
            break;
        case kTime:
            kinds_.push_back(Kind::time);
            break;
        case kBytea:
            kinds_.push_back(Kind::bytes);
            break;
        case kBool:
        default:
            kinds_.push_back(Kind::text);
            break;
        }
    }
}

// Rows the client did not read to the end: the statement is stopped.
PgRows::~PgRows() {
    PQclear(current_);
    if (!finished_) backend_.finish_statement(true);
}

Step PgRows::fail(Outcome outcome, bool cancel) {
    failure_ = std::move(outcome);
    PQclear(current_);
    current_ = nullptr;
    if (!finished_) backend_.finish_statement(cancel);
    finished_ = true;
    return Step::failed;
}

// A value larger than the server's bound ends the result, as SQLite's
// length limit does on the other backend.
bool PgRows::within_bound() {
    for (int c = 0; c < PQnfields(current_); ++c) {
        if (static_cast<size_t>(PQgetlength(current_, row_, c)) > backend_.max_value_bytes()) {
            return false;
        }
    }
    return true;
}

Step PgRows::take(PGresult* result) {
    PQclear(current_);
    current_ = nullptr;
    row_ = 0;
    if (result == nullptr) return fail(backend_.failure_of(nullptr), false);
    switch (PQresultStatus(result)) {
    case PGRES_SINGLE_TUPLE:
        current_ = result;
        if (!within_bound()) {
            return fail({18, "string or blob too big (a single value may hold at most " +
                                 std::to_string(backend_.max_value_bytes()) +
                                 " bytes on this server)"},
                        true);
        }
        return Step::row;
    case PGRES_TUPLES_OK:
        PQclear(result);
        backend_.finish_statement(false);
        finished_ = true;
        return Step::done;
    default: {
        Outcome failure = backend_.failure_of(result);
        PQclear(result);
        return fail(std::move(failure), false);
    }
    }
}

Step PgRows::hold_whole(PGresult* result) {
    current_ = result;
    row_ = 0;
    backend_.finish_statement(false);
    finished_ = true;
    for (; row_ < PQntuples(current_); ++row_) {
        if (!within_bound()) {
            return fail({18, "string or blob too big (a single value may hold at most " +
                                 std::to_string(backend_.max_value_bytes()) +
                                 " bytes on this server)"},
                        false);
        }
    }
    row_ = 0;
    return PQntuples(current_) > 0 ? Step::row : Step::done;
}

Step PgRows::step() {
    if (!streaming_) {
        if (current_ != nullptr && row_ + 1 < PQntuples(current_)) {
            ++row_;
            return Step::row;
        }
        PQclear(current_);
        current_ = nullptr;
        return Step::done;
    }
    if (finished_) return Step::done;
    return take(backend_.next_result());
}

char PgRows::append_value(size_t column, std::string& field, std::string* shown) {
    const int c = static_cast<int>(column);
    if (current_ == nullptr || PQgetisnull(current_, row_, c)) return 'S';
    const char* value = PQgetvalue(current_, row_, c);
    const std::string_view text(value, static_cast<size_t>(PQgetlength(current_, row_, c)));
    switch (kinds_[column]) {
    case Kind::number:
        // NaN and Infinity are no numbers a client can read.
        if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text.back())))) {
            field.append(text);
            return 'N';
        }
        break;
    case Kind::bytes: {
        size_t bytes = 0;
        unsigned char* data =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(value), &bytes);
        if (data == nullptr) break;
        append_hex(data, bytes, field);
        PQfreemem(data);
        return 'S';
    }
    case Kind::date:
    case Kind::datetime:
    case Kind::time: {
        const TemporalKind kind = kinds_[column] == Kind::date       ? TemporalKind::date
                                  : kinds_[column] == Kind::datetime ? TemporalKind::datetime
                                                                     : TemporalKind::time;
        if (auto digits = fourteen_digits(without_zone(text), kind)) {
            field.append(*digits);
            if (shown != nullptr) append_wire_text(text, *shown);
            return kind == TemporalKind::date ? 'D' : 'T';
        }
        break;
    }
    case Kind::text:
        break;
    }
    append_wire_text(text, field);
    return 'S';
}

} // namespace dorvd
