#include "server/backends/postgresql/pg_connect.h"

#include <cstdlib>

namespace dorvd {
namespace {

// PostgreSQL's notices ("... does not exist, skipping") are no failures: the
// client's status says what happened, and the log stays for the server's events.
void ignore_notice(void*, const char*) {}

} // namespace

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

bool PgResult::ok() const {
    const ExecStatusType status = PQresultStatus(result_);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string PgResult::text(int row, int column) const {
    if (result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_) ||
        PQgetisnull(result_, row, column)) {
        return "";
    }
    return PQgetvalue(result_, row, column);
}

std::string PgResult::sqlstate() const {
    const char* state = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
    return state ? state : "";
}

std::string PgResult::message() const {
    const char* primary = PQresultErrorField(result_, PG_DIAG_MESSAGE_PRIMARY);
    if (primary != nullptr) return primary;
    return result_ ? one_line(PQresultErrorMessage(result_)) : "out of memory";
}

PGconn* pg_open(const std::string& conninfo, const std::string& application, const PgLogin* login,
                const std::string& options, std::string& error) {
    // The connection string is expanded first; the keys behind it take the
    // place of its own, except the application name, which is a fallback.
    std::vector<const char*> keys = {"dbname", "fallback_application_name"};
    std::vector<const char*> values = {conninfo.c_str(), application.c_str()};
    if (login != nullptr && !login->user.empty()) {
        keys.push_back("user");
        values.push_back(login->user.c_str());
        keys.push_back("password");
        values.push_back(login->password.c_str());
    }
    if (!options.empty()) {
        keys.push_back("options");
        values.push_back(options.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
        error = conn ? pg_message(conn) : "out of memory";
        PQfinish(conn);
        return nullptr;
    }
    PQsetNoticeProcessor(conn, ignore_notice, nullptr);
    if (PQsetClientEncoding(conn, "UTF8") != 0) {
        error = "cannot set the client encoding: " + pg_message(conn);
        PQfinish(conn);
        return nullptr;
    }
    return conn;
}

PgResult pg_run(PGconn* conn, const std::string& sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& param : params)
        values.push_back(param.c_str());
    return PgResult(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
}

std::string one_line(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += "; ";
        } else if (c != '\t') {
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';'))
        line.pop_back();
    return line;
}

std::string pg_message(PGconn* conn) {
    return one_line(PQerrorMessage(conn));
}

std::string pg_identifier(PGconn* conn, const std::string& name) {
    char* quoted = PQescapeIdentifier(conn, name.c_str(), name.size());
    if (quoted == nullptr) return "\"\"";
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

std::string pg_literal(PGconn* conn, const std::string& text) {
    char* quoted = PQescapeLiteral(conn, text.c_str(), text.size());
    if (quoted == nullptr) return "''";
    std::string literal(quoted);
    PQfreemem(quoted);
    return literal;
}

std::string pg_configured_options(const std::string& conninfo) {
    std::string options;
    if (!conninfo.empty()) {
        char* error = nullptr;
        PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &error);
        PQfreemem(error);
        for (PQconninfoOption* option = parsed; option != nullptr && option->keyword != nullptr;
             ++option) {
            if (std::string(option->keyword) == "options" && option->val != nullptr) {
                options = option->val;
            }
        }
        PQconninfoFree(parsed);
        if (!options.empty()) return options;
    }
    const char* variable = std::getenv("PGOPTIONS");
    return variable ? variable : "";
}

} // namespace dorvd
