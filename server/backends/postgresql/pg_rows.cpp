#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "server/backends/postgresql/pg_backend.h"
#include "server/base/status_codes.h"

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
            return fail({kStatusTooBig, "string or blob too big (a single value may hold at most " +
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

Step PgRows::hold_all(PGresult* first) {
    // What a held row takes beyond its texts: the row and each value's string.
    constexpr size_t kRowOverhead = sizeof(HeldRow) + 16;
    constexpr size_t kValueOverhead = sizeof(std::string) + 8;
    const size_t limit = backend_.max_value_bytes();
    size_t bytes = 0;
    Outcome refusal; // set once the rows are past a bound: the rest are read and dropped
    for (PGresult* result = first;; result = backend_.next_result()) {
        if (result == nullptr) {
            held_.clear();
            held_share_.release();
            return fail(backend_.failure_of(nullptr), false);
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE && refusal.status == 0) {
            current_ = result;
            row_ = 0;
            if (!within_bound()) {
                refusal = {kStatusTooBig,
                           "string or blob too big (a single value may hold at most " +
                               std::to_string(limit) + " bytes on this server)"};
            } else {
                const int columns = PQnfields(result);
                bytes += row_bytes() + kRowOverhead + static_cast<size_t>(columns) * kValueOverhead;
                if (bytes > limit) {
                    refusal = {kStatusResultTooLarge,
                               "The rows the statement returned are larger than this server "
                               "keeps in memory (" +
                                   std::to_string(limit) +
                                   " bytes); they were discarded, and its changes stand."};
                } else if (!held_share_.cover(backend_.result_budget(), bytes)) {
                    refusal = {kStatusResultTooLarge,
                               "The results kept by all connections would take more memory than "
                               "this server allows; the rows the statement returned were "
                               "discarded, and its changes stand. Try again later."};
                } else {
                    HeldRow row;
                    for (int c = 0; c < columns; ++c) {
                        const bool null = PQgetisnull(result, 0, c) != 0;
                        row.nulls.push_back(null);
                        row.values.emplace_back(
                            null ? "" : PQgetvalue(result, 0, c),
                            null ? 0 : static_cast<size_t>(PQgetlength(result, 0, c)));
                    }
                    held_.push_back(std::move(row));
                }
            }
            current_ = nullptr;
            if (refusal.status != 0) {
                held_.clear();
                held_.shrink_to_fit();
                held_share_.release();
            }
            PQclear(result);
            continue;
        }
        if (status == PGRES_SINGLE_TUPLE) {
            PQclear(result);
            continue;
        }
        if (status == PGRES_TUPLES_OK) {
            affected_ = std::atoll(PQcmdTuples(result));
            PQclear(result);
            backend_.finish_statement(false);
            finished_ = true;
            if (refusal.status != 0) return fail(std::move(refusal), false);
            return step();
        }
        Outcome failure = backend_.failure_of(result);
        PQclear(result);
        held_.clear();
        held_share_.release();
        return fail(std::move(failure), false);
    }
}

Step PgRows::step() {
    if (!streaming_) {
        if (next_held_ < held_.size()) {
            held_row_ = &held_[next_held_++];
            return Step::row;
        }
        held_row_ = nullptr;
        held_.clear();
        held_share_.release();
        return Step::done;
    }
    if (finished_) return Step::done;
    return take(backend_.next_result());
}

std::string_view PgRows::value(int column, bool& null) const {
    if (held_row_ != nullptr) {
        const auto c = static_cast<size_t>(column);
        null = held_row_->nulls[c];
        return held_row_->values[c];
    }
    null = current_ == nullptr || PQgetisnull(current_, row_, column) != 0;
    if (null) return {};
    return {PQgetvalue(current_, row_, column),
            static_cast<size_t>(PQgetlength(current_, row_, column))};
}

// PostgreSQL's text of each value, as it came: a cell's text is no longer,
// but for a date's 14 digits (bytea's hexadecimal loses its "\x").
size_t PgRows::row_bytes() {
    size_t bytes = 0;
    for (size_t c = 0; c < names_.size(); ++c) {
        bool null = false;
        bytes += value(static_cast<int>(c), null).size();
    }
    return bytes;
}

void PgRows::read_cell(size_t column, Cell& cell, bool with_stored) {
    cell.type = 'S';
    cell.text.clear();
    cell.stored.reset();
    bool null = false;
    const std::string_view text = value(static_cast<int>(column), null);
    if (null) return;
    const char* raw = text.data(); // its texts end with a zero byte
    switch (kinds_[column]) {
    case Kind::number:
        // NaN and Infinity are no numbers a client can read.
        if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text.back())))) {
            cell.text.append(text);
            cell.type = 'N';
            return;
        }
        break;
    case Kind::bytes: {
        size_t bytes = 0;
        unsigned char* data = PQunescapeBytea(reinterpret_cast<const unsigned char*>(raw), &bytes);
        if (data == nullptr) break;
        append_hex(data, bytes, cell.text);
        PQfreemem(data);
        return;
    }
    case Kind::date:
    case Kind::datetime:
    case Kind::time: {
        const TemporalKind kind = kinds_[column] == Kind::date       ? TemporalKind::date
                                  : kinds_[column] == Kind::datetime ? TemporalKind::datetime
                                                                     : TemporalKind::time;
        if (auto digits = fourteen_digits(without_zone(text), kind)) {
            cell.text.append(*digits);
            if (with_stored) cell.stored.emplace(text);
            cell.type = kind == TemporalKind::date ? 'D' : 'T';
            return;
        }
        break;
    }
    case Kind::text:
        break;
    }
    cell.text.append(text);
}

} // namespace dorvd
