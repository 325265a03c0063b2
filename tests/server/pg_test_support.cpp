#include "pg_test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace dorvd_test {

std::string pg_conninfo() {
    const char* value = std::getenv("DORV_TEST_PG");
    return value ? value : "";
}

void use_postgresql(dorvd::ServerOptions& options) {
    options.backend = dorvd::BackendKind::postgresql;
    options.pg_conninfo = pg_conninfo();
    options.auth_delay_ms = 0;
}

DirectConnection::DirectConnection(const std::string& extra)
    : conn_(PQconnectdb((pg_conninfo() + " " + extra).c_str())) {
    EXPECT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
}

DirectConnection::~DirectConnection() {
    PQfinish(conn_);
}

void DirectConnection::run(const std::string& sql) {
    const std::string error = try_run(sql);
    EXPECT_EQ(error, "") << sql;
}

std::string DirectConnection::try_run(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    const auto status = PQresultStatus(result);
    PQclear(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return "";
    const std::string error = PQerrorMessage(conn_);
    return error.empty() ? "failed" : error;
}

std::string DirectConnection::value(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    std::string text;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1) {
        text = PQgetvalue(result, 0, 0);
    } else {
        ADD_FAILURE() << sql << ": " << PQerrorMessage(conn_);
    }
    PQclear(result);
    return text;
}

std::string DirectConnection::answer(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    std::string text;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1) {
        text = PQgetvalue(result, 0, 0);
    } else {
        text = "error: " + std::string(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)
                                           ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)
                                           : PQerrorMessage(conn_));
    }
    PQclear(result);
    return text;
}

std::vector<std::string> value_records(RawClient& client, int& end_status) {
    std::vector<std::string> records;
    const auto header = client.statement('V');
    end_status = header.status;
    if (header.status != 0) return records;
    records.push_back(header.data);
    for (;;) {
        const auto row = client.statement('F');
        end_status = row.status;
        if (!row.ok || row.status != 0) break;
        records.push_back(row.data);
    }
    return records;
}

} // namespace dorvd_test
