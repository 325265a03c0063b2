// Reads a 10,000-row, 5-field result value by value through the library
// (hl_dorv_next_val / hl_dorv_tfield) and, in the same run against the same
// server, sends the same number of row requests over a raw socket. Prints rows
// per second for both, their ratio, and the heap allocations per row made
// while the library reads.
//
//   build/native/bench/value_read_bench [rows] [repetitions]
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "client/resources/string_table.h"
#include "support/dorvd_process.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Every malloc of the process is counted (glibc lets a program interpose malloc).
static std::atomic<long> allocations{0};
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int exec(int handle, const std::string& statement) {
    std::vector<char> text(statement.begin(), statement.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

const char* const query = "select id, name, price, stock, id * 2 from big order by id";

void fill(int handle, int rows) {
    exec(handle, "create table big (id integer, name text, price real, stock integer)");
    exec(handle, "insert into big with recursive n(i) as (select 1 union all select i + 1 from n "
                 "where i < " +
                     std::to_string(rows) + ") select i, 'product ' || i, i * 0.25, i % 97 from n");
}

// Library: header record, then every row field by field. Returns rows read.
long library_read(int handle, long* allocations_during) {
    exec(handle, query);
    char field[256];
    long rows = 0;
    long before = allocations.load();
    int status = hl_dorv_hdr_val(handle);
    while (status == 0) {
        while (hl_dorv_tfield(handle, field, sizeof field) == 0) {
        }
        status = hl_dorv_next_val(handle);
        ++rows;
    }
    *allocations_during = allocations.load() - before;
    return rows - 1; // the header record
}

bool recv_all(int s, char* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = recv(s, buffer + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

// Raw: the same requests ('F' per row) with plain socket calls, replies read and dropped.
long raw_read(const std::string& service, long expected_rows) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(std::stoi(service)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    auto round_trip = [&](const std::string& payload) {
        std::string block;
        size_t length = payload.size() + 4;
        block += static_cast<char>(length >> 8);
        block += static_cast<char>(length & 0xFF);
        block += 'S';
        block += '\1';
        block += payload;
        send(s, block.data(), block.size(), 0);
        int status = 0;
        for (;;) {
            char reply[1024];
            if (!recv_all(s, reply, 2)) return -100;
            size_t n =
                (static_cast<unsigned char>(reply[0]) << 8) | static_cast<unsigned char>(reply[1]);
            if (n < 4 || n > 1024 || !recv_all(s, reply + 2, n - 2)) return -100;
            if (n >= 6)
                status = static_cast<short>((static_cast<unsigned char>(reply[4]) << 8) |
                                            static_cast<unsigned char>(reply[5]));
            if (reply[3] != 0) return status;
        }
    };
    round_trip(std::string("E\0", 2) + "OPEN DATABASE 'sample'");
    round_trip(std::string("E\0", 2) + query);
    long rows = 0;
    int status = round_trip("V");
    while (status == 0 && rows <= expected_rows) {
        status = round_trip("F");
        if (status == 0) ++rows;
    }
    close(s);
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? atoi(argv[1]) : 10000;
    int repetitions = argc > 2 ? atoi(argv[2]) : 5;
    dorv_library_attach(dorv32_string_table());
    DorvdProcess server;
    if (!server.start()) {
        fprintf(stderr, "bench: %s\n", server.error().c_str());
        return 1;
    }
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
    if (handle < 0 || exec(handle, "OPEN DATABASE 'sample'") > 0) return 1;
    fill(handle, rows);

    double best_library = 1e9, best_raw = 1e9;
    long library_rows = 0, raw_rows = 0, allocations_during = 0;
    for (int r = 0; r < repetitions; ++r) {
        auto start = std::chrono::steady_clock::now();
        library_rows = library_read(handle, &allocations_during);
        best_library = std::min(best_library, seconds_since(start));
        start = std::chrono::steady_clock::now();
        raw_rows = raw_read(server.service(), rows);
        best_raw = std::min(best_raw, seconds_since(start));
    }
    hl_disconnect(handle);
    server.stop();
    dorv_library_detach();

    printf("rows read: library %ld, raw %ld (5 fields each)\n", library_rows, raw_rows);
    printf("library (hl_dorv_next_val + hl_dorv_tfield): %10.0f rows/s  (best of %d: %.3f s)\n",
           library_rows / best_library, repetitions, best_library);
    printf("raw round trips over a socket:               %10.0f rows/s  (best of %d: %.3f s)\n",
           raw_rows / best_raw, repetitions, best_raw);
    printf("library time / raw time: %.3f\n", best_library / best_raw);
    printf("heap allocations while reading: %ld (%.4f per row)\n", allocations_during,
           library_rows > 0 ? static_cast<double>(allocations_during) / library_rows : 0.0);
    return library_rows == rows && raw_rows == rows ? 0 : 1;
}
