// Fills 10,000 x 5 cells through XDorvExecRange of the real DORV32.XLL, loaded
// with dlopen into the tests' fake Excel, against dorvd:
//
// - at 0 ms (direct loopback): the add-in against the same rows read by plain
//   library calls (the same calls XDorvExecRange makes: hl_dorv_exec, then per
//   row five hl_dorv_tfield and one hl_dorv_next_val), and the fake Excel's
//   own xlSet work for as many cells measured alone, so the add-in's own cost
//   is what remains;
// - at a round trip of 5 ms (through the delaying relay), with and without
//   read-ahead.
//
// Every case is a child process whose windorv.ini (DORV_INI_DIR) says
// "ReadAhead=N", read by the library the add-in loads.
//
//   addin_fill_bench [--rows 10000] [--rtt 5] [--ra 0,64] [--repeat 5] [--no-latency]
#include "bench/bench_support.h"
#include "bench/delay_relay.h"
#include "client/include/dorv32.h"
#include "support/dorvd_process.h"

#include "excel_args.h"
#include "fake_excel.h"
#include "xll_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kDatabase = "bench";

// This thread's processor time: what the client itself spends, apart from
// waiting for the server and for other programs on a busy machine.
double thread_cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
const int kFields = 5;

std::string query(long rows) {
    return "select id, name, price, stock, id * 2 from big where id <= " + std::to_string(rows) +
           " order by id";
}

// The cells must hold the rows: as many values as asked, first and last rows right.
std::string check_sheet(long rows) {
    long count = fake_cell_count(1);
    if (count != rows * kFields) return "cells " + std::to_string(count);
    FakeCell c;
    fake_cell(1, 0, 1, &c);
    if (c.type != excel::Str || std::string(c.text, static_cast<size_t>(c.length)) != "product 1")
        return "B1 is not \"product 1\"";
    fake_cell(1, static_cast<int>(rows - 1), 0, &c);
    if (c.type != excel::Num || c.number != static_cast<double>(rows))
        return "A" + std::to_string(rows) + " is not " + std::to_string(rows);
    fake_cell(1, static_cast<int>(rows - 1), 4, &c);
    if (c.type != excel::Num || c.number != 2.0 * static_cast<double>(rows))
        return "the last row's fifth cell is wrong";
    return "ok";
}

// One XDorvExecRange into A1:E<rows>; seconds, or -1 with the reason in *problem.
double addin_fill(const XllExports& x, int handle, long rows, std::string* problem, int* calls,
                  double* cpu) {
    fake_reset();
    problem->clear();
    Opers op;
    excel::Oper* hdl = op.num(handle);
    excel::Oper* statement = op.str(query(rows));
    excel::Oper* target = op.ref(1, 0, static_cast<int>(rows - 1), 0, kFields - 1);
    excel::Oper* mode = op.num(0);
    double cpu_start = thread_cpu_seconds();
    auto start = Clock::now();
    int16_t written = x.XDorvExecRange(hdl, statement, target, mode);
    double seconds = seconds_since(start);
    *cpu = thread_cpu_seconds() - cpu_start;
    *calls = fake_call_count();
    int sets = 0, sheet_ids = 0;
    for (int i = 0; i < *calls; ++i) {
        sets += fake_call_function(i) == excel::Set ? 1 : 0;
        sheet_ids += fake_call_function(i) == excel::SheetId ? 1 : 0;
    }
    if (sets + sheet_ids != *calls) *problem = "calls other than xlSet and xlSheetId";
    if (written != rows) {
        *problem = "XDorvExecRange returned " + std::to_string(written);
        return -1;
    }
    if (!problem->empty()) return -1;
    *problem = check_sheet(rows);
    return *problem == "ok" ? seconds : -1;
}

// The calls XDorvExecRange makes, made directly: field texts read, nothing stored.
double library_read(int handle, long rows, std::string* problem, double* cpu) {
    char field[256];
    long read = 0, bytes = 0;
    double cpu_start = thread_cpu_seconds();
    auto start = Clock::now();
    int status = lib_exec(handle, query(rows));
    if (status != 0) {
        *problem = "hl_dorv_exec gave " + std::to_string(status);
        return -1;
    }
    for (status = hl_dorv_next_val(handle); status == 0; status = hl_dorv_next_val(handle)) {
        for (int f = 0; f < kFields; ++f) {
            if (hl_dorv_tfield(handle, field, sizeof field) != 0) break;
            bytes += field[0];
        }
        ++read;
    }
    double seconds = seconds_since(start);
    *cpu = thread_cpu_seconds() - cpu_start;
    if (status != -9 || read != rows || bytes == 0) {
        *problem = "read " + std::to_string(read) + " rows, last status " + std::to_string(status);
        return -1;
    }
    return seconds;
}

// The fake Excel's own cost for the cells: per cell the two calls the add-in
// makes (xlSheetId for the one-cell reference, xlSet), with the values it
// stores (numbers, and texts in the second column).
double excel_set_alone(long rows) {
    fake_reset();
    Opers op;
    std::vector<excel::Oper*> cells, values;
    for (long r = 0; r < rows; ++r)
        for (int c = 0; c < kFields; ++c) {
            cells.push_back(op.ref(1, static_cast<int>(r), static_cast<int>(r), c, c));
            values.push_back(c == 1 ? op.str("product " + std::to_string(r + 1))
                                    : op.num(static_cast<double>(r + c)));
        }
    excel::Oper result;
    auto start = Clock::now();
    for (size_t i = 0; i < cells.size(); ++i) {
        excel::Oper* args[2] = {cells[i], values[i]};
        if (Excel4v(excel::SheetId, &result, 0, nullptr) != excel::RetSuccess ||
            Excel4v(excel::Set, &result, 2, args) != excel::RetSuccess)
            return -1;
    }
    return seconds_since(start);
}

int child_fill(int port, long rows, int repeat, bool with_library) {
    std::string error;
    void* module = load_xll(&error);
    XllExports x{};
    if (module == nullptr || !find_exports(module, &x, &error)) {
        fprintf(stderr, "addin_fill_bench: the add-in did not load: %s\n", error.c_str());
        return 2;
    }
    fake_reset();
    Opers op;
    excel::Oper* connected = x.XDorvConnect(op.str("WINSOCK"), op.str("127.0.0.1"),
                                            op.str(std::to_string(port)), op.missing());
    if (connected->xltype != excel::Int || connected->val.w < 0) return 3;
    int handle = connected->val.w;
    if (x.XDorvExec(op.num(handle), op.str(std::string("OPEN DATABASE '") + kDatabase + "'")) != 1)
        return 4;
    double best_addin = 1e9, best_library = 1e9, best_excel = 1e9;
    double cpu_addin = 1e9, cpu_library = 1e9, cpu = 0;
    int calls = 0;
    std::string problem;
    int library_handle = -1;
    if (with_library) {
        char transport[] = "WINSOCK";
        library_handle = hl_connect(transport, "127.0.0.1", std::to_string(port).c_str(), 0);
        if (library_handle < 0 ||
            lib_exec(library_handle, std::string("OPEN DATABASE '") + kDatabase + "'") != 0)
            return 5;
    }
    for (int r = 0; r < repeat; ++r) {
        double s = addin_fill(x, handle, rows, &problem, &calls, &cpu);
        if (s < 0) {
            printf("failed=%s\n", problem.c_str());
            return 6;
        }
        best_addin = std::min(best_addin, s);
        cpu_addin = std::min(cpu_addin, cpu);
        if (!with_library) continue;
        s = library_read(library_handle, rows, &problem, &cpu);
        if (s < 0) {
            printf("failed=%s\n", problem.c_str());
            return 7;
        }
        best_library = std::min(best_library, s);
        cpu_library = std::min(cpu_library, cpu);
        s = excel_set_alone(rows);
        if (s < 0) return 8;
        best_excel = std::min(best_excel, s);
    }
    if (with_library) hl_disconnect(library_handle);
    x.XDorvDisconnect(op.num(handle));
    printf("addin=%.6f library=%.6f excel=%.6f addin_cpu=%.6f library_cpu=%.6f calls=%d "
           "check=%s\n",
           best_addin, with_library ? best_library : -1.0, with_library ? best_excel : -1.0,
           cpu_addin, with_library ? cpu_library : -1.0, calls, problem.c_str());
    return 0;
}

struct Fill {
    bool ok = false;
    double addin = -1, library = -1, excel = -1, addin_cpu = -1, library_cpu = -1;
    long calls = 0;
    std::string output;
};

Fill run_fill(int port, long rows, int read_ahead, int repeat, bool with_library) {
    Fill f;
    std::string folder = make_ini_folder(read_ahead);
    f.ok = run_self({"--child-fill", std::to_string(port), std::to_string(rows),
                     std::to_string(repeat), with_library ? "1" : "0"},
                    folder, &f.output);
    remove_folder(folder);
    f.ok = f.ok && word_value(f.output, "check") == "ok";
    f.addin = atof(word_value(f.output, "addin").c_str());
    f.library = atof(word_value(f.output, "library").c_str());
    f.excel = atof(word_value(f.output, "excel").c_str());
    f.calls = atol(word_value(f.output, "calls").c_str());
    f.addin_cpu = atof(word_value(f.output, "addin_cpu").c_str());
    f.library_cpu = atof(word_value(f.output, "library_cpu").c_str());
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && strcmp(argv[1], "--child-fill") == 0)
        return child_fill(atoi(argv[2]), atol(argv[3]), atoi(argv[4]), atoi(argv[5]) != 0);

    long rows = 10000;
    double rtt = 5;
    std::vector<int> read_aheads = {0, 64};
    int repeat = 5;
    bool latency = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--rows" && has_value) {
            rows = atol(argv[++i]);
        } else if (a == "--rtt" && has_value) {
            rtt = atof(argv[++i]);
        } else if (a == "--ra" && has_value) {
            read_aheads = split_numbers(argv[++i]);
        } else if (a == "--repeat" && has_value) {
            repeat = atoi(argv[++i]);
        } else if (a == "--no-latency") {
            latency = false;
        } else {
            fprintf(stderr, "usage: addin_fill_bench [--rows 10000] [--rtt 5] [--ra 0,64] "
                            "[--repeat 5] [--no-latency]\n");
            return 2;
        }
    }
    // A target of more rows than a sheet has would not be a fill of the target.
    if (rows < 1 || rows > 65536 || repeat < 1) return 2;

    DorvdProcess server;
    const std::string server_log = "/tmp/addin_fill_bench_dorvd.log";
    server.log_to(server_log);
    if (!server.start({})) {
        fprintf(stderr, "addin_fill_bench: %s\n", server.error().c_str());
        return 1;
    }
    if (!fill_big_table(server, kDatabase, rows)) {
        fprintf(stderr, "addin_fill_bench: cannot fill the table\n");
        return 1;
    }
    int server_port = atoi(server.service().c_str());

    printf("addin_fill_bench: XDorvExecRange of DORV32.XLL in the fake Excel, %ld x %d cells "
           "(A1:E%ld)\n",
           rows, kFields, rows);
    printf("machine: %s (figures from a machine that may be busy)\n\n", machine_note().c_str());

    bool all_ok = true;
    // At 0 ms: the add-in's own cost over the library calls alone.
    Fill zero = run_fill(server_port, rows, 0, repeat, true);
    if (!zero.ok) {
        printf("0 ms case failed: %s\n", zero.output.c_str());
        all_ok = false;
    } else {
        double over = zero.addin - zero.library;
        printf("0 ms (direct), ReadAhead=0, best of %d:\n", repeat);
        printf("  XDorvExecRange, all cells written and checked: %8.3f s  %9.0f rows/s\n",
               zero.addin, rows / zero.addin);
        printf("  the same library calls alone:                  %8.3f s  %9.0f rows/s\n",
               zero.library, rows / zero.library);
        printf("  the fake Excel alone, xlSheetId + xlSet per cell: %5.3f s\n", zero.excel);
        printf("  add-in over the library: %+.3f s = %+.1f %% (of which the fake Excel "
               "%.3f s)\n",
               over, 100 * over / zero.library, zero.excel);
        printf("  add-in's own work (add-in - library - fake Excel): %+.3f s = %+.1f %% of the "
               "library time\n",
               over - zero.excel, 100 * (over - zero.excel) / zero.library);
        double cpu_over = zero.addin_cpu - zero.library_cpu;
        printf("  client processor time: add-in %.3f s, library alone %.3f s: %+.3f s = %+.1f %% "
               "of the library's time (fake Excel included)\n",
               zero.addin_cpu, zero.library_cpu, cpu_over, 100 * cpu_over / zero.library);
        printf("  calls into Excel per fill: %ld (%.2f per cell: xlSheetId and xlSet)\n\n",
               zero.calls, static_cast<double>(zero.calls) / (rows * kFields));
    }

    if (latency) {
        DelayRelay relay;
        std::string error;
        if (!relay.start(server_port, &error)) {
            fprintf(stderr, "addin_fill_bench: %s\n", error.c_str());
            return 1;
        }
        relay.set_one_way(std::chrono::microseconds(static_cast<long long>(rtt * 500)));
        printf("%g ms round trip (relay), one fill each:\n", rtt);
        double none = 0;
        for (int ra : read_aheads) {
            relay.reset_in_flight();
            Fill f = run_fill(relay.port(), rows, ra, 1, false);
            if (!f.ok) {
                printf("  ReadAhead=%-2d failed: %s\n", ra, f.output.c_str());
                all_ok = false;
                continue;
            }
            if (ra == 0) none = f.addin;
            printf("  ReadAhead=%-2d  %8.3f s  %9.0f rows/s  %6.3f ms/row  in flight %ld", ra,
                   f.addin, rows / f.addin, f.addin * 1000 / rows, relay.max_in_flight());
            if (ra != 0 && none > 0) printf("  %.1fx ReadAhead=0", none / f.addin);
            printf("\n");
            fflush(stdout);
        }
        relay.stop();
    }
    server.stop();
    return all_ok ? 0 : 1;
}
