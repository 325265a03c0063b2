// Threads on connections of their own call the library at the same time: four
// threads, four connections to the reference server, each reading typed
// values that only its own queries can give, every value checked. Each also
// opens a database with a password (the process's password cache), and has a
// failed statement of its own explained into its buffer between the reads.
#include "dorv32.h"
#include "support/test_files.h"

#ifdef _WIN32
#include "support/wine_fixture.h"
#else
#include "support/dorvd_process.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

enum : int { THREADS = 4, ROUNDS = 4, ROWS = 200, FIELDS = 3 };

#ifdef _WIN32
const char separator[] = "\\";
#else
const char separator[] = "/";
#endif

// A connection file whose section "both" opens the sample database and the
// one with a password. A reply that does not come within 30 seconds fails
// the call, so that a library that hangs fails the test instead.
std::string connection_file(const std::string& port) {
    std::string path = test_temp_dir() + separator + "threads.ini";
    write_text_file(path, "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + port +
                              "\nReplyTimeout=30\n[sample]\nDatabase=sample\n"
                              "[secret]\nDatabase=secret\nPassword=geheim\n"
                              "[both]\nDBopen=sample,secret\n");
    return path;
}

int exec(int handle, const std::string& statement) {
    std::vector<char> text(statement.begin(), statement.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

// Rows that only thread `t` asks for: an id, a text and a square, each
// telling the thread and the row apart.
std::string query(int t) {
    std::string rows = std::to_string(ROWS), thread = std::to_string(t);
    return "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + rows +
           ") select i * 4 + " + thread + " as id, 'thread " + thread +
           " row ' || i as name, i * i * 10 + " + thread + " as square from n";
}

std::vector<std::string> expected_row(int t, int i) {
    return {"N" + std::to_string(i * 4 + t),
            "Sthread " + std::to_string(t) + " row " + std::to_string(i),
            "N" + std::to_string(i * i * 10 + t)};
}

struct Outcome {
    int values = 0; // values read and found right
    std::vector<std::string> errors;
    void error(const std::string& what) {
        if (errors.size() < 10) errors.push_back(what);
    }
};

// One round: the query's rows as typed values, each field compared.
void read_round(int handle, int t, Outcome* out) {
    int status = exec(handle, query(t));
    if (status != 0) return out->error("exec returned " + std::to_string(status));
    for (int i = 1; i <= ROWS; ++i) {
        if ((status = hl_dorv_next_val(handle)) != 0)
            return out->error("row " + std::to_string(i) + ": " + std::to_string(status));
        std::vector<std::string> want = expected_row(t, i);
        for (int f = 0; f < FIELDS; ++f) {
            char field[64];
            status = hl_dorv_tfield(handle, field, sizeof field);
            if (status == 0 && field == want[static_cast<size_t>(f)])
                ++out->values;
            else
                out->error("row " + std::to_string(i) + " field " + std::to_string(f) + ": " +
                           std::to_string(status) + " [" + field + "]");
        }
        char rest[8];
        if ((status = hl_dorv_tfield(handle, rest, sizeof rest)) != DORV_EOF)
            out->error("row " + std::to_string(i) + " goes on: " + std::to_string(status));
    }
    if ((status = hl_dorv_next_val(handle)) != DORV_EOF)
        out->error("after the last row: " + std::to_string(status));
}

// A statement that fails on this thread's own table name, explained into the
// thread's buffer: the explanation names that table.
void explain_failure(int handle, int t, Outcome* out) {
    std::string table = "missing_table_of_thread_" + std::to_string(t);
    if (exec(handle, "select * from " + table) <= 0) return out->error("no failure for " + table);
    char text[512];
    if (hl_dorv_explain(handle, text, sizeof text, 0) != 0) return out->error("explain failed");
    if (std::string(text).find(table) == std::string::npos)
        out->error("explanation of another statement: " + std::string(text));
}

void run_thread(const std::string& file, int t, Outcome* out) {
    int handle = hl_connect_ini(file.c_str(), "both", 0, 1);
    if (handle < 0) return out->error("no connection");
    for (int round = 0; round < ROUNDS; ++round) {
        read_round(handle, t, out);
        explain_failure(handle, t, out);
    }
    if (hl_disconnect(handle) != 0) out->error("disconnect failed");
}

TEST(Threads, FourThreadsReadTypedValuesOnTheirOwnConnectionsAtOnce) {
#ifdef _WIN32
    std::string port = fixture_port("dorvd_threads");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
#else
    DorvdProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    std::string port = server.service();
#endif
    std::string file = connection_file(port);
    std::vector<Outcome> outcomes(THREADS);
    auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back(run_thread, file, t, &outcomes[static_cast<size_t>(t)]);
    for (std::thread& thread : threads)
        thread.join();
    long long took = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
    int total = 0;
    for (int t = 0; t < THREADS; ++t) {
        const Outcome& o = outcomes[static_cast<size_t>(t)];
        SCOPED_TRACE("thread " + std::to_string(t));
        EXPECT_EQ(o.values, ROUNDS * ROWS * FIELDS);
        EXPECT_TRUE(o.errors.empty()) << o.errors[0];
        total += o.values;
    }
    std::printf("[ threads  ] %d threads, %d connections, %d typed values checked in %lld ms\n",
                THREADS, THREADS, total, took);
}

} // namespace
