// The reference server as a child process on a temporary data folder and a
// free loopback port, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

class DorvdProcess {
  public:
    // Starts dorvd with the extra options; false (and a reason) when it did not come up.
    bool start(const std::vector<std::string>& options = {});
    // The same with the server program named.
    bool start_program(const std::string& program, const std::vector<std::string>& options = {});
    // SIGTERM, then SIGKILL when it has not ended within kill_after_ms.
    void stop(int kill_after_ms = 20000);
    // SIGTERM and the milliseconds until the server ended; -1 when it had to
    // be killed after wait_ms.
    long terminate(int wait_ms);
    // Sends the server's log (its standard error) to this file instead of ours; call before start.
    void log_to(const std::string& path) { error_log_ = path; }
    // Sets an environment variable of the server (TMPDIR, say); call before start.
    void set_environment(const std::string& name, const std::string& value) {
        environment_.push_back(name + "=" + value);
    }
    // An empty database file NAME.db in the data folder (SQLite takes an empty
    // file for an empty database) that OPEN DATABASE 'NAME' can then open.
    bool make_empty_database(const std::string& name) const;
    ~DorvdProcess() { stop(); }
    std::string service() const { return std::to_string(port_); }
    const std::string& data_dir() const { return data_dir_; }
    const std::string& error() const { return error_; }
    int pid() const { return pid_; }

  private:
    int pid_ = -1;
    int port_ = 0;
    std::string data_dir_;
    std::string error_;
    std::string error_log_;
    std::vector<std::string> environment_;
};
