#include "server/backends/postgresql/pg_status.h"

#include "server/base/status_codes.h"

namespace dorvd {
namespace {

struct Mapping {
    std::string_view sqlstate; // a full code, or a class of two characters
    int16_t status;
};

// The statuses are SQLite's primary result codes where one means the same,
// and the server's own where PostgreSQL is out of reach.
constexpr Mapping kCodes[] = {
    {"42501", kStatusNotAuthorized},       // insufficient_privilege
    {"22001", kStatusTooBig},              // string_data_right_truncation
    {"25006", kStatusReadOnly},            // read_only_sql_transaction
    {"53100", kStatusFull},                // disk_full
    {"53200", kStatusNoMemory},            // out_of_memory
    {"53300", kStatusDatabaseUnreachable}, // too_many_connections
    {"55P03", kStatusBusy},                // lock_not_available
    {"57014", kStatusInterrupted},         // query_canceled
    {"57P01", kStatusDatabaseUnreachable}, // admin_shutdown
    {"57P02", kStatusDatabaseUnreachable}, // crash_shutdown
    {"57P03", kStatusDatabaseUnreachable}, // cannot_connect_now
    {"XX001", kStatusCorrupt},             // data_corrupted
    {"XX002", kStatusCorrupt},             // index_corrupted
};

constexpr Mapping kClasses[] = {
    {"08", kStatusDatabaseUnreachable}, // connection exception
    {"22", kStatusMismatch},            // data exception
    {"23", kStatusConstraint},          // integrity constraint violation
    {"28", kStatusNotAuthorized},       // invalid authorization (role, password)
    {"40", kStatusBusy},                // transaction rollback (serialization, deadlock)
    {"42", kStatusError},               // syntax error or access rule violation
    {"53", kStatusFull},                // insufficient resources
    {"54", kStatusTooBig},              // program limit exceeded
    {"58", kStatusIoError},             // system error (I/O)
    {"XX", kStatusCorrupt},             // internal error
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
    return kStatusError;
}

} // namespace dorvd
