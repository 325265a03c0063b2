// dorvd under concurrent load: 1, 4, 16 and 64 clients, each one connection
// through the real library in a process of its own (the library serves at
// most four connections per process and one call at a time), all reading one
// shared database that no client writes: a mix of short queries (one row by
// its key) and 1,000-row reads, value by value. Prints queries/s, rows/s, the
// server's processor use and its resident memory (VmRSS from /proc) idle and
// under load. Then a 1,000,000-row value read from a table made with one
// INSERT ... WITH RECURSIVE in a scratch database file, with the server's
// peak resident memory during it.
//
//   server_load [--clients 1,4,16,64] [--seconds 8] [--short 10]
//               [--big-rows 1000000] [--no-big] [--big-limit SIZE]
//
// --short: short queries per 1,000-row read. --big-limit SIZE repeats the big
// read on a second server started with --max-result-bytes SIZE.
#include "bench/bench_support.h"
#include "client/include/dorv32.h"
#include "support/dorvd_process.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kLoadDatabase = "load";
const char* const kBigDatabase = "big";
const long kReadRows = 1000;
const int kMaxConnections = 70; // 64 clients and room for the set-up connection still closing

std::string fill_statement(const std::string& table, long rows) {
    return "insert into " + table +
           " with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
           std::to_string(rows) + ") select i, 'product ' || i, i * 0.25, i % 97 from n";
}

// Creates database `name` in the server's data folder with a table of `rows` rows.
bool make_table(const DorvdProcess& server, const std::string& name, const std::string& table,
                long rows) {
    char transport[] = "WINSOCK";
    int handle = -1;
    bool ok = server.make_empty_database(name) &&
              (handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0)) >= 0 &&
              lib_exec(handle, "OPEN DATABASE '" + name + "'") == 0 &&
              lib_exec(handle, "create table " + table +
                                   " (id integer primary key, name text, price real, "
                                   "stock integer)") == 0 &&
              lib_exec(handle, fill_statement(table, rows)) == 0;
    if (handle >= 0) hl_disconnect(handle);
    return ok;
}

// Reads the pending result value by value; rows read, or -1 on a failure.
long read_values(int handle) {
    char field[256];
    long rows = 0;
    int status;
    while ((status = hl_dorv_next_val(handle)) == 0) {
        while (hl_dorv_tfield(handle, field, sizeof field) == 0) {
        }
        ++rows;
    }
    return status == -9 ? rows : -1;
}

// Child: one client's mix until the time is up.
int child_load(int port, long long start_ns, double seconds, int shorts, int seed) {
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", std::to_string(port).c_str(), 0);
    if (handle < 0) return 2;
    if (lib_exec(handle, std::string("OPEN DATABASE '") + kLoadDatabase + "'") != 0) return 3;
    const std::string big_read =
        "select id, name, price, stock, id * 2 from items order by id limit " +
        std::to_string(kReadRows);
    std::this_thread::sleep_until(Clock::time_point(std::chrono::nanoseconds(start_ns)));
    auto start = Clock::now();
    long queries = 0, rows = 0, errors = 0;
    unsigned key = static_cast<unsigned>(seed) * 7919u;
    while (seconds_since(start) < seconds) {
        for (int i = 0; i < shorts; ++i) {
            key = key * 1103515245u + 12345u;
            long id = 1 + static_cast<long>((key >> 8) % kReadRows);
            long got = lib_exec(handle, "select name, price from items where id = " +
                                            std::to_string(id)) == 0
                           ? read_values(handle)
                           : -1;
            ++queries;
            if (got == 1)
                rows += got;
            else
                ++errors;
        }
        long got = lib_exec(handle, big_read) == 0 ? read_values(handle) : -1;
        ++queries;
        if (got == kReadRows)
            rows += got;
        else
            ++errors;
    }
    double elapsed = seconds_since(start);
    hl_disconnect(handle);
    printf("queries=%ld rows=%ld seconds=%.6f errors=%ld\n", queries, rows, elapsed, errors);
    return errors == 0 ? 0 : 4;
}

// Samples the server's resident memory until stopped: the peak and the last value.
class MemorySampler {
  public:
    explicit MemorySampler(pid_t pid) : pid_(pid) {
        thread_ = std::thread([this] {
            while (!done_.load()) {
                sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~MemorySampler() { stop(); }
    void stop() {
        done_.store(true);
        if (thread_.joinable()) thread_.join();
        sample();
    }
    long peak_kb() const { return peak_.load(); }
    int peak_threads() const { return threads_.load(); }

  private:
    void sample() {
        long rss = proc_status_kb(pid_, "VmRSS");
        if (rss > peak_.load()) peak_.store(rss);
        int threads = proc_threads(pid_);
        if (threads > threads_.load()) threads_.store(threads);
    }
    pid_t pid_;
    std::atomic<bool> done_{false};
    std::atomic<long> peak_{0};
    std::atomic<int> threads_{0};
    std::thread thread_;
};

struct LoadResult {
    int clients = 0;
    double queries_per_s = 0, rows_per_s = 0;
    long errors = 0, failed_children = 0;
    long rss_before = 0, rss_peak = 0, rss_after = 0;
    double server_cpu = 0; // cores busy on average
    int threads = 0;
};

LoadResult run_load(pid_t server_pid, int port, int clients, double seconds, int shorts) {
    LoadResult r;
    r.clients = clients;
    r.rss_before = proc_status_kb(server_pid, "VmRSS");
    // Every client connects first and starts at the same moment.
    auto start = Clock::now() + std::chrono::milliseconds(800 + 30 * clients);
    long long start_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    std::vector<std::pair<pid_t, int>> children;
    for (int i = 0; i < clients; ++i) {
        int fd = -1;
        std::ostringstream s;
        s << seconds;
        pid_t pid = spawn_self({"--child-load", std::to_string(port), std::to_string(start_ns),
                                s.str(), std::to_string(shorts), std::to_string(i + 1)},
                               "", &fd);
        if (pid > 0) children.push_back({pid, fd});
    }
    r.failed_children = clients - static_cast<long>(children.size());
    std::this_thread::sleep_until(start);
    long ticks_before = proc_cpu_ticks(server_pid);
    auto measured = Clock::now();
    MemorySampler sampler(server_pid);
    for (auto& [pid, fd] : children) {
        int status = 0;
        std::string out = collect_child(pid, fd, &status);
        double s = atof(word_value(out, "seconds").c_str());
        if (word_value(out, "queries").empty() || s <= 0) {
            ++r.failed_children;
            continue;
        }
        // Each client's own rate, summed: the clients do not end at the same instant.
        r.queries_per_s += atol(word_value(out, "queries").c_str()) / s;
        r.rows_per_s += atol(word_value(out, "rows").c_str()) / s;
        r.errors += atol(word_value(out, "errors").c_str());
    }
    sampler.stop();
    double elapsed = seconds_since(measured);
    long ticks = proc_cpu_ticks(server_pid) - ticks_before;
    r.server_cpu = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)) / elapsed;
    r.rss_peak = sampler.peak_kb();
    r.threads = sampler.peak_threads();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    r.rss_after = proc_status_kb(server_pid, "VmRSS");
    return r;
}

// The big read on a server of its own; prints what happened.
bool big_read(long rows, const std::vector<std::string>& options, const std::string& label) {
    DorvdProcess server;
    std::vector<std::string> all = {"--max-connections", std::to_string(kMaxConnections)};
    all.insert(all.end(), options.begin(), options.end());
    const std::string log = "/tmp/server_load_big_dorvd.log";
    server.log_to(log);
    if (!server.start(all)) {
        printf("big read (%s): dorvd did not start: %s\n", label.c_str(), server.error().c_str());
        return false;
    }
    pid_t pid = server.pid();
    printf("\n%ld-row value read, %s:\n", rows, label.c_str());
    auto made = Clock::now();
    if (!make_table(server, kBigDatabase, "big", rows)) {
        printf("  the table could not be made (server log: %s)\n", log.c_str());
        return false;
    }
    printf("  table made with one INSERT ... WITH RECURSIVE in %.1f s\n", seconds_since(made));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long idle = proc_status_kb(pid, "VmRSS");
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
    if (handle < 0 || lib_exec(handle, std::string("OPEN DATABASE '") + kBigDatabase + "'") != 0) {
        printf("  cannot connect\n");
        return false;
    }
    long connected = proc_status_kb(pid, "VmRSS");
    MemorySampler sampler(pid);
    auto start = Clock::now();
    int status = lib_exec(handle, "select id, name, price, stock, id * 2 from big order by id");
    double exec_seconds = seconds_since(start);
    bool ok = true;
    if (status != 0) {
        char text[1024] = "";
        hl_dorv_explain(handle, text, sizeof text, 5);
        sampler.stop();
        printf("  refused: hl_dorv_exec gave status %d after %.2f s: %s\n", status, exec_seconds,
               text);
        ok = false;
    } else {
        char field[256];
        long read = 0, out_of_order = 0;
        int s;
        while ((s = hl_dorv_next_val(handle)) == 0) {
            if (hl_dorv_tfield(handle, field, sizeof field) == 0 && atol(field + 1) != read + 1)
                ++out_of_order;
            while (hl_dorv_tfield(handle, field, sizeof field) == 0) {
            }
            ++read;
        }
        sampler.stop();
        double seconds = seconds_since(start);
        printf("  read %ld rows (%ld out of order) in %.1f s (hl_dorv_exec %.2f s), %.0f rows/s, "
               "last status %d\n",
               read, out_of_order, seconds, exec_seconds, read / seconds, s);
        ok = read == rows && out_of_order == 0 && s == -9;
    }
    hl_disconnect(handle);
    printf("  server VmRSS: idle %ld kB, connected %ld kB, peak during the read %ld kB "
           "(+%ld kB over idle)\n",
           idle, connected, sampler.peak_kb(), sampler.peak_kb() - idle);
    server.stop();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 7 && strcmp(argv[1], "--child-load") == 0)
        return child_load(atoi(argv[2]), atoll(argv[3]), atof(argv[4]), atoi(argv[5]),
                          atoi(argv[6]));

    std::vector<int> client_counts = {1, 4, 16, 64};
    double seconds = 8;
    int shorts = 10;
    long big_rows = 1000000;
    bool big = true;
    std::string big_limit;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--clients" && has_value) {
            client_counts = split_numbers(argv[++i]);
        } else if (a == "--seconds" && has_value) {
            seconds = atof(argv[++i]);
        } else if (a == "--short" && has_value) {
            shorts = atoi(argv[++i]);
        } else if (a == "--big-rows" && has_value) {
            big_rows = atol(argv[++i]);
        } else if (a == "--no-big") {
            big = false;
        } else if (a == "--big-limit" && has_value) {
            big_limit = argv[++i];
        } else {
            fprintf(stderr, "usage: server_load [--clients 1,4,16,64] [--seconds 8] [--short 10]\n"
                            "                   [--big-rows 1000000] [--no-big] "
                            "[--big-limit SIZE]\n");
            return 2;
        }
    }
    for (int c : client_counts)
        if (c < 1 || c > 64) return 2;
    if (seconds <= 0 || shorts < 0 || big_rows < 1) return 2;

    printf("server_load: one dorvd, clients in processes of their own (one connection and one "
           "thread each)\nall reading the shared database '%s' (table items, %ld rows; no client "
           "writes);\nmix per client: %d one-row queries by key, then one %ld-row value read, "
           "repeated\n",
           kLoadDatabase, kReadRows, shorts, kReadRows);
    printf("machine: %s (figures from a machine that may be busy)\n", machine_note().c_str());

    bool ok = true;
    if (!client_counts.empty()) {
        DorvdProcess server;
        const std::string log = "/tmp/server_load_dorvd.log";
        server.log_to(log);
        if (!server.start({"--max-connections", std::to_string(kMaxConnections)})) {
            fprintf(stderr, "server_load: %s\n", server.error().c_str());
            return 1;
        }
        pid_t pid = server.pid();
        if (pid < 0 || !make_table(server, kLoadDatabase, "items", kReadRows)) {
            fprintf(stderr, "server_load: no server process or no table (log: %s)\n", log.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        printf("dorvd (pid %d) --max-connections %d; idle VmRSS %ld kB, %d threads; server "
               "log %s\n\n",
               static_cast<int>(pid), kMaxConnections, proc_status_kb(pid, "VmRSS"),
               proc_threads(pid), log.c_str());
        printf("%7s | %10s | %10s | %10s | %11s | %13s | %11s | %7s | %s\n", "clients", "queries/s",
               "rows/s", "vs 1", "server CPU", "VmRSS before", "VmRSS peak", "threads",
               "VmRSS after");
        fflush(stdout);
        double one = 0;
        int port = atoi(server.service().c_str());
        for (int clients : client_counts) {
            LoadResult r = run_load(pid, port, clients, seconds, shorts);
            if (clients == 1) one = r.rows_per_s;
            char versus[16];
            snprintf(versus, sizeof versus, one > 0 ? "%.2fx" : "-", r.rows_per_s / one);
            printf("%7d | %10.0f | %10.0f | %10s | %9.2f c | %10ld kB | %8ld kB | %7d | %ld kB",
                   clients, r.queries_per_s, r.rows_per_s, versus, r.server_cpu, r.rss_before,
                   r.rss_peak, r.threads, r.rss_after);
            if (r.errors > 0 || r.failed_children > 0)
                printf("  (%ld failed queries, %ld failed clients)", r.errors, r.failed_children);
            printf("\n");
            fflush(stdout);
            ok = ok && r.errors == 0 && r.failed_children == 0;
        }
        printf("vs 1: rows/s over one client. server CPU: cores busy in dorvd on average.\n");
        server.stop();
    }

    if (big) {
        ok = big_read(big_rows, {}, "dorvd with its default --max-result-bytes") && ok;
        if (!big_limit.empty())
            ok = big_read(big_rows, {"--max-result-bytes", big_limit},
                          "dorvd --max-result-bytes " + big_limit) &&
                 ok;
    }
    if (!ok) printf("\nserver_load: not every query or read succeeded (exit status 1)\n");
    return ok ? 0 : 1;
}
