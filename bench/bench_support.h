// What the benchmarks share: raw protocol round trips and small helpers
// around the library; child processes and /proc come from tests/support.
#pragma once

#include "support/child_process.h"
#include "support/dorvd_process.h"
#include "support/proc_status.h"

#include <chrono>
#include <string>
#include <vector>

double seconds_since(std::chrono::steady_clock::time_point start);

// hl_dorv_exec on a copy of the statement (the library writes into its text).
int lib_exec(int handle, const std::string& statement);

// Protocol requests over a plain socket, as the library would send them.
class RawClient {
  public:
    ~RawClient() { close(); }
    bool connect(int port);
    void close();
    // Sends one request block, type 'S', last-block flag 1.
    bool send_request(const std::string& payload);
    // Reads one reply to its last block: its last status, or -100 on failure.
    int read_reply();
    int round_trip(const std::string& payload) {
        return send_request(payload) ? read_reply() : -100;
    }

  private:
    bool receive(char* buffer, size_t n);
    int fd_ = -1;
};

inline std::string exec_payload(const std::string& statement) {
    return std::string("E\0", 2) + statement;
}

// The words of a comma-separated option ("0,1,5,20"), empty ones left out.
std::vector<std::string> split_list(const std::string& text);
std::vector<int> split_numbers(const std::string& text);

// Makes database `name` in the server's data folder with table big (id,
// name, price, stock) of `rows` rows. False when any step fails.
bool fill_big_table(const DorvdProcess& server, const char* name, long rows);

// The load average and core count, for the heading of a figure.
std::string machine_note();
