#include "server/pg_status.h"

#include "server/status_codes.h"

namespace dorvd {
namespace {

struct Mapping {
    std::string_view sqlstate; // a full code, or a class of two characters
    int16_t status;
};

// The statuses are SQLite's primary result codes where one means the same
// (1 error, 5 busy, 7 no memory, 8 read-only, 9 interrupted, 10 I/O error,
// 11 corrupt, 13 full, 18 too big, 19 constraint, 20 type mismatch,
// 23 not authorized), and the server's own 210 where PostgreSQL is out of reach.
constexpr Mapping kCodes[] = {
    {"42501", 23},                         // insufficient_privilege
    {"22001", 18},                         // string_data_right_truncation
    {"25006", 8},                          // read_only_sql_transaction
    {"53100", 13},                         // disk_full
    {"53200", 7},                          // out_of_memory
    {"53300", kStatusDatabaseUnreachable}, // too_many_connections
    {"55P03", 5},                          // lock_not_available
    {"57014", 9},                          // query_canceled
    {"57P01", kStatusDatabaseUnreachable}, // admin_shutdown
    {"57P02", kStatusDatabaseUnreachable}, // crash_shutdown
    {"57P03", kStatusDatabaseUnreachable}, // cannot_connect_now
    {"XX001", 11},                         // data_corrupted
    {"XX002", 11},                         // index_corrupted
};

constexpr Mapping kClasses[] = {
    {"08", kStatusDatabaseUnreachable}, // connection exception
    {"22", 20},                         // data exception
    {"23", 19},                         // integrity constraint violation
    {"28", 23},                         // invalid authorization (role, password)
    {"40", 5},                          // transaction rollback (serialization, deadlock)
    {"42", 1},                          // syntax error or access rule violation
    {"53", 13},                         // insufficient resources
    {"54", 18},                         // program limit exceeded
    {"58", 10},                         // system error (I/O)
    {"XX", 11},                         // internal error
};

} // namespace

int16_t status_for_sqlstate(std::string_view sqlstate) {
    for (const Mapping& m : kCodes) {
        if (sqlstate == m.sqlstate) return m.status;
    }
    if (sqlstate.size() == 5) {
        for (const Mapping& m : kClasses) {
            if (sqlstate.substr(0, 2) == m.sqlstate) return m.status;
        }
    }
    return 1;
}

} // namespace dorvd
