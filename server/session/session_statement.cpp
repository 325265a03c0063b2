// What the session decides about a statement before the backend runs it:
// OPEN DATABASE is the session's own, and some statements are refused the
// same way whatever the backend.
#include "server/base/statement_kind.h"
#include "server/base/status_codes.h"
#include "server/session/open_request.h"
#include "server/session/session.h"

namespace dorvd {
Executed Session::run_statement(std::string_view statement) {
    const StatementKind kind = classify_statement(statement);
    Executed executed;
    // A backend without a session answers every statement itself.
    if (!backend_->ready()) return backend_->execute(statement, kind);
    if (kind.unterminated_comment) {
        executed.outcome = {kStatusError,
                            "The statement begins with a /* comment that is not closed."};
    } else if (kind.copy) {
        // COPY reaches the database server's files and programs, or switches
        // the session into a copy mode the block protocol does not carry.
        executed.outcome = {kStatusNotAuthorized,
                            "not authorized: COPY is not for clients: it reaches the database "
                            "server's files and programs. Use SELECT and INSERT."};
    } else if (kind.open_database) {
        executed.outcome = open_databases(statement.substr(kind.offset));
    } else {
        executed = backend_->execute(statement, kind);
    }
    return executed;
}

// Every name and password is checked before anything is opened.
Outcome Session::open_databases(std::string_view statement) {
    Outcome failure;
    const auto request_read = read_open_request(statement, config_.data_dir, failure);
    if (!request_read) return failure;
    const OpenRequest& open = *request_read;
    std::vector<std::string> names;
    for (const DatabaseRequest& request : open.databases) {
        const DatabaseLookup found = valid_database_name(request.name)
                                         ? backend_->find_database(request.name, failure)
                                         : DatabaseLookup::missing;
        if (found == DatabaseLookup::failed) return failure;
        if (found == DatabaseLookup::missing) {
            return {kStatusUnknownDatabase, "Unknown database '" + request.name + "'."};
        }
        if (auto wrong = wrong_password(open, request)) return *wrong;
        names.push_back(request.name);
    }
    std::vector<std::string> open_now;
    Outcome opened = backend_->open_databases(names, open_now);
    if (opened.status != kStatusOk) return opened;
    return databases_open(open_now);
}

} // namespace dorvd
