// What the benchmarks share: child processes of the benchmark itself (each
// with its own windorv.ini, read when the library loads), the server's memory
// from /proc, raw protocol round trips, and small helpers around the library.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

double seconds_since(std::chrono::steady_clock::time_point start);

// hl_dorv_exec on a copy of the statement (the library writes into its text).
int lib_exec(int handle, const std::string& statement);

// A temporary folder holding windorv.ini with "ReadAhead=N" in section
// "Global"; empty on failure. remove_folder deletes such a folder.
std::string make_ini_folder(int read_ahead);
void remove_folder(const std::string& folder);

// Runs this program again with the arguments, DORV_INI_DIR set to ini_folder
// (unset when empty); its standard output is read through *out_fd.
pid_t spawn_self(const std::vector<std::string>& args, const std::string& ini_folder, int* out_fd);
// Reads the child's output to its end and waits for it; the exit status in *status.
std::string collect_child(pid_t pid, int out_fd, int* status);
// spawn_self and collect_child in one; false when it failed (output kept).
bool run_self(const std::vector<std::string>& args, const std::string& ini_folder,
              std::string* output);

// "key=value" out of a line of words; empty when absent.
std::string word_value(const std::string& line, const std::string& key);

// The pid of the dorvd serving the data folder (found in /proc), or -1.
pid_t find_server_pid(const std::string& data_dir);
// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM"), or -1.
long proc_status_kb(pid_t pid, const char* field);
// Clock ticks the process has run (user and system), or -1.
long proc_cpu_ticks(pid_t pid);
int proc_threads(pid_t pid);

class DorvdProcess;
// Starts dorvd with its log (standard error) going to log_path, not to ours.
bool start_server_logged(DorvdProcess& server, const std::vector<std::string>& options,
                         const std::string& log_path);

// An empty database file (SQLite takes an empty file for an empty database)
// that OPEN DATABASE 'name' can then open.
bool make_empty_database(const std::string& data_dir, const std::string& name);

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

// The load average and core count, for the heading of a figure.
std::string machine_note();
