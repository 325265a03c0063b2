// What the PostgreSQL tests share: the cluster's connection string (from
// DORV_TEST_PG, set by scripts/lib/pg_cluster.sh), a dorvd configured for
// it, a direct libpq connection of the test's own, and the reading of a
// pending result.
#pragma once

#include <libpq-fe.h>
#include <string>
#include <vector>

#include "raw_client.h"
#include "server/options.h"

namespace dorvd_test {

// DORV_TEST_PG: the connection string of dorvd's administrative role.
std::string pg_conninfo();

// Options for a TestServer in front of the cluster (no delay for wrong passwords).
void use_postgresql(dorvd::ServerOptions& options);

// A connection of the test's own, beside dorvd's, to set up and look;
// extra is appended to the connection string ("user=postgres" for the superuser).
class DirectConnection {
  public:
    explicit DirectConnection(const std::string& extra = "");
    ~DirectConnection();
    DirectConnection(const DirectConnection&) = delete;
    DirectConnection& operator=(const DirectConnection&) = delete;

    // Runs sql; a failure fails the test.
    void run(const std::string& sql);
    // Runs sql; the error message when it fails, empty when it succeeds.
    std::string try_run(const std::string& sql);
    // The single value of a one-row query; a failure fails the test.
    std::string value(const std::string& sql);
    // The single value of a one-row query, or "error: " and the message.
    std::string answer(const std::string& sql);
    std::string database() const { return PQdb(conn_); }
    std::string user() const { return PQuser(conn_); }

  private:
    PGconn* conn_;
};

// Every value record of the pending result, the header record first; the
// status that ended them goes to end_status.
std::vector<std::string> value_records(RawClient& client, int& end_status);

} // namespace dorvd_test
