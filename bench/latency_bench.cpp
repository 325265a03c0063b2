// Reads a result value by value through the library (hl_dorv_exec,
// hl_dorv_next_val, hl_dorv_tfield until -9) with a server that is a chosen
// round trip away, and compares it with the raw protocol loop. The server is
// dorvd behind an in-process relay that holds every chunk for half the round
// trip in each direction.
//
// Each library case runs in a child process of its own whose windorv.ini
// (in a temporary folder named by DORV_INI_DIR) says "ReadAhead=N", so the
// setting is in place whether the library reads it when it loads or when it
// connects. The relay counts the row requests a client keeps in flight, which
// shows whether the library acted on the setting.
//
//   latency_bench [--rtt 0,1,5,20] [--cases ra0,ra8,ra64,raw,pipe64]
//                 [--seconds 6] [--cap 10] [--max-rows 20000] [--relay-zero]
//
// Cases: raN = the library with ReadAhead=N; raw = one 'F' request per row
// over a plain socket; pipeN = the same keeping N requests in flight (what
// read-ahead can reach at best). --seconds is the time aimed at per case
// (rows are estimated from the round trip), --cap the time after which a
// case stops reading and reports what it read. RTT 0 connects directly
// unless --relay-zero is given.
#include "bench/bench_support.h"
#include "bench/delay_relay.h"
#include "client/include/dorv32.h"
#include "support/dorvd_process.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

// Every malloc of the process is counted (glibc lets a program interpose malloc);
// not under AddressSanitizer, whose own malloc must see every block.
static std::atomic<long> allocations{0};
#ifndef __SANITIZE_ADDRESS__
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
const bool counting_allocations = true;
#else
const bool counting_allocations = false;
#endif

namespace {

using Clock = std::chrono::steady_clock;

const char* const kDatabase = "bench";

std::string query(long rows) {
    return "select id, name, price, stock, id * 2 from big where id <= " + std::to_string(rows) +
           " order by id";
}

struct Outcome {
    long rows = 0;
    double seconds = 0;
    long allocations = -1;
    bool stopped = false; // stopped at the time cap
    bool ok = false;
    std::string error;
};

// Child: the library reads `rows` rows through the given port, field by field.
int child_read(int port, long rows, double cap) {
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", std::to_string(port).c_str(), 0);
    if (handle < 0) return 2;
    if (lib_exec(handle, std::string("OPEN DATABASE '") + kDatabase + "'") > 0) return 3;
    if (lib_exec(handle, query(rows)) != 0) return 4;
    char field[256];
    int status = hl_dorv_hdr_val(handle);
    if (status != 0) return 5;
    while (hl_dorv_tfield(handle, field, sizeof field) == 0) {
    }
    long read = 0, out_of_order = 0;
    bool stopped = false;
    long before = allocations.load();
    auto start = Clock::now();
    while ((status = hl_dorv_next_val(handle)) == 0) {
        // Rows come in id order: a read-ahead that lost or repeated one shows here.
        if (hl_dorv_tfield(handle, field, sizeof field) != 0 || field[0] != 'N' ||
            atol(field + 1) != read + 1)
            ++out_of_order;
        while (hl_dorv_tfield(handle, field, sizeof field) == 0) {
        }
        ++read;
        if ((read & 15) == 0 && seconds_since(start) > cap) {
            stopped = true;
            break;
        }
    }
    double seconds = seconds_since(start);
    long during = counting_allocations ? allocations.load() - before : -1;
    printf("rows=%ld seconds=%.6f allocations=%ld stopped=%d status=%d wrong=%ld\n", read, seconds,
           during, stopped ? 1 : 0, status, out_of_order);
    hl_disconnect(handle);
    if (out_of_order > 0) return 7;
    return stopped || status == -9 ? 0 : 6;
}

// Raw: 'F' requests over a plain socket, `depth` of them in flight.
Outcome raw_read(int port, long rows, int depth, double cap) {
    Outcome out;
    RawClient client;
    if (!client.connect(port)) {
        out.error = "cannot connect";
        return out;
    }
    if (client.round_trip(exec_payload(std::string("OPEN DATABASE '") + kDatabase + "'")) != 0 ||
        client.round_trip(exec_payload(query(rows))) != 0 || client.round_trip("V") != 0) {
        out.error = "the query failed";
        return out;
    }
    auto start = Clock::now();
    long sent = 0, answered = 0;
    bool ended = false, failed = false;
    // rows + 1 requests: the last one draws -9.
    auto top_up = [&] {
        while (!out.stopped && sent - answered < depth && sent < rows + 1) {
            if (!client.send_request("F")) return false;
            ++sent;
        }
        return true;
    };
    if (!top_up()) failed = true;
    while (!failed && answered < sent) {
        int status = client.read_reply();
        ++answered;
        if (status == 0) {
            ++out.rows;
        } else if (status == -9) {
            ended = true;
        } else {
            failed = true;
            break;
        }
        if (!out.stopped && (out.rows & 15) == 0 && seconds_since(start) > cap) out.stopped = true;
        if (!top_up()) failed = true;
    }
    out.seconds = seconds_since(start);
    out.ok = !failed && (ended || out.stopped);
    if (!out.ok) out.error = "the row loop failed";
    return out;
}

Outcome library_read(int port, long rows, int read_ahead, double cap) {
    Outcome out;
    std::string folder = make_ini_folder(read_ahead);
    if (folder.empty()) {
        out.error = "no temporary folder";
        return out;
    }
    std::ostringstream cap_text;
    cap_text << cap;
    std::string output;
    bool ran =
        run_self({"--child-read", std::to_string(port), std::to_string(rows), cap_text.str()},
                 folder, &output);
    remove_folder(folder);
    out.rows = atol(word_value(output, "rows").c_str());
    out.seconds = atof(word_value(output, "seconds").c_str());
    out.allocations = atol(word_value(output, "allocations").c_str()); // -1: not counted
    out.stopped = word_value(output, "stopped") == "1";
    out.ok = ran && !word_value(output, "rows").empty();
    if (!out.ok) out.error = "the child failed: " + output;
    return out;
}

struct Case {
    std::string name;
    enum Kind { library, raw } kind;
    int depth; // ReadAhead for the library, requests in flight for raw
};

bool parse_case(const std::string& word, Case* c) {
    auto number = [&](size_t from, int* n) {
        if (word.size() <= from) return false;
        *n = atoi(word.c_str() + from);
        return *n >= 0 && *n <= 64;
    };
    if (word == "raw") {
        *c = {"raw, 1 in flight", Case::raw, 1};
        return true;
    }
    int n = 0;
    if (word.rfind("ra", 0) == 0 && number(2, &n)) {
        *c = {"library ReadAhead=" + std::to_string(n), Case::library, n};
        return true;
    }
    if (word.rfind("pipe", 0) == 0 && number(4, &n) && n > 0) {
        *c = {"raw, " + std::to_string(n) + " in flight", Case::raw, n};
        return true;
    }
    return false;
}

struct Row {
    double rtt;
    Case c;
    Outcome o;
    long in_flight;
    long rows_asked;
};

double rows_per_second(const Outcome& o) {
    return o.seconds > 0 ? o.rows / o.seconds : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "--child-read") == 0)
        return child_read(atoi(argv[2]), atol(argv[3]), atof(argv[4]));

    std::vector<double> rtts = {0, 1, 5, 20};
    std::vector<std::string> case_words = {"ra0", "ra8", "ra64", "raw", "pipe64"};
    double seconds = 6, cap = 10;
    long max_rows = 20000;
    bool relay_zero = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--rtt" && has_value) {
            rtts.clear();
            for (auto& w : split_list(argv[++i]))
                rtts.push_back(atof(w.c_str()));
        } else if (a == "--cases" && has_value) {
            case_words = split_list(argv[++i]);
        } else if (a == "--seconds" && has_value) {
            seconds = atof(argv[++i]);
        } else if (a == "--cap" && has_value) {
            cap = atof(argv[++i]);
        } else if (a == "--max-rows" && has_value) {
            max_rows = atol(argv[++i]);
        } else if (a == "--relay-zero") {
            relay_zero = true;
        } else {
            fprintf(stderr,
                    "usage: latency_bench [--rtt 0,1,5,20] [--cases ra0,ra8,ra64,raw,pipe64]\n"
                    "                     [--seconds 6] [--cap 10] [--max-rows 20000] "
                    "[--relay-zero]\n");
            return 2;
        }
    }
    std::vector<Case> cases;
    for (auto& w : case_words) {
        Case c;
        if (!parse_case(w, &c)) {
            fprintf(stderr, "latency_bench: unknown case %s (raN, raw, pipeN; N 0 to 64)\n",
                    w.c_str());
            return 2;
        }
        cases.push_back(c);
    }
    if (max_rows < 1 || seconds <= 0 || cap <= 0) return 2;

    DorvdProcess server;
    const std::string server_log = "/tmp/latency_bench_dorvd.log";
    server.log_to(server_log);
    if (!server.start({})) {
        fprintf(stderr, "latency_bench: %s (log: %s)\n", server.error().c_str(),
                server_log.c_str());
        return 1;
    }
    int server_port = atoi(server.service().c_str());
    // The rows live in a database file of their own in the server's scratch data folder.
    if (!fill_big_table(server, kDatabase, max_rows)) {
        fprintf(stderr, "latency_bench: cannot fill the table\n");
        return 1;
    }

    DelayRelay relay;
    std::string error;
    if (!relay.start(server_port, &error)) {
        fprintf(stderr, "latency_bench: %s\n", error.c_str());
        return 1;
    }

    printf("latency_bench: dorvd behind a relay holding each chunk RTT/2 each way; 5 fields "
           "per row\n");
    printf("machine: %s (figures from a machine that may be busy)\n", machine_note().c_str());
    printf("library cases: windorv.ini with ReadAhead=N in DORV_INI_DIR, one child process per "
           "case;\n\"in flight\": most requests the relay saw outstanding (the real read-ahead)\n");
    printf("aim %.0f s per case, cap %.0f s (a capped case reports the rows it read)\n\n", seconds,
           cap);
    printf("%7s | %-22s | %6s | %7s | %9s | %8s | %7s | %9s | %6s | %s\n", "RTT ms", "case", "rows",
           "seconds", "rows/s", "ms/row", "row/RTT", "in flight", "allocs", "vs none");
    fflush(stdout);

    std::vector<Row> table;
    const double base_ms = 0.05; // a row's cost on loopback, generously
    for (double rtt : rtts) {
        bool direct = rtt == 0 && !relay_zero;
        int port = direct ? server_port : relay.port();
        relay.set_one_way(std::chrono::microseconds(static_cast<long long>(rtt * 500)));
        double library_none = 0, raw_none = 0;
        for (const Case& c : cases) {
            int depth = std::max(c.depth, 1);
            long rows = static_cast<long>(seconds / ((base_ms + rtt / depth) / 1000));
            rows = std::clamp(rows, 50L, max_rows);
            relay.reset_in_flight();
            Outcome o = c.kind == Case::library ? library_read(port, rows, c.depth, cap)
                                                : raw_read(port, rows, c.depth, cap);
            long in_flight = direct ? -1 : relay.max_in_flight();
            table.push_back({rtt, c, o, in_flight, rows});
            double rate = rows_per_second(o);
            if (c.kind == Case::library && c.depth == 0) library_none = rate;
            if (c.kind == Case::raw && c.depth == 1) raw_none = rate;
            double none = c.kind == Case::library ? library_none : raw_none;
            char rtt_text[16], ratio[16], flight[16], allocs[16], speed[16];
            snprintf(rtt_text, sizeof rtt_text, direct ? "%g dir" : "%g", rtt);
            double ms_row = o.rows > 0 ? o.seconds * 1000 / o.rows : 0;
            snprintf(ratio, sizeof ratio, rtt > 0 ? "%.2f" : "-", ms_row / (rtt > 0 ? rtt : 1));
            snprintf(flight, sizeof flight, in_flight >= 0 ? "%ld" : "-", in_flight);
            snprintf(allocs, sizeof allocs, o.allocations >= 0 ? "%.3f" : "-",
                     o.rows > 0 ? static_cast<double>(o.allocations) / o.rows : 0.0);
            snprintf(speed, sizeof speed, none > 0 ? "%.1fx" : "-", rate / (none > 0 ? none : 1));
            if (!o.ok) {
                printf("%7s | %-22s | failed: %s\n", rtt_text, c.name.c_str(), o.error.c_str());
            } else {
                printf("%7s | %-22s | %6ld | %7.3f | %9.0f | %8.3f | %7s | %9s | %6s | %s%s\n",
                       rtt_text, c.name.c_str(), o.rows, o.seconds, rate, ms_row, ratio, flight,
                       allocs, speed, o.stopped ? "  (stopped at the cap)" : "");
            }
            fflush(stdout);
        }
    }

    printf("\nrow/RTT: time per row over the round trip (1.00 = one round trip per row).\n");
    printf("vs none: rows/s over ReadAhead=0 (library rows) or over 1 in flight (raw rows), "
           "same RTT.\nallocs: heap allocations per row in the library child while reading.\n");
    // The library's own cost: ReadAhead=0 against the raw loop at the same round trip.
    for (double rtt : rtts) {
        double lib = 0, raw = 0;
        for (const Row& r : table) {
            if (r.rtt != rtt || !r.o.ok || r.o.rows == 0) continue;
            if (r.c.kind == Case::library && r.c.depth == 0) lib = r.o.seconds / r.o.rows;
            if (r.c.kind == Case::raw && r.c.depth == 1) raw = r.o.seconds / r.o.rows;
        }
        if (lib > 0 && raw > 0)
            printf("RTT %g ms: library (ReadAhead=0) time per row / raw time per row = %.3f\n", rtt,
                   lib / raw);
    }
    relay.stop();
    server.stop();
    bool all_ok = true;
    for (const Row& r : table)
        all_ok = all_ok && r.o.ok;
    return all_ok ? 0 : 1;
}
