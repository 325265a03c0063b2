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
    void stop();
    ~DorvdProcess() { stop(); }
    std::string service() const { return std::to_string(port_); }
    const std::string& data_dir() const { return data_dir_; }
    const std::string& error() const { return error_; }

  private:
    int pid_ = -1;
    int port_ = 0;
    std::string data_dir_;
    std::string error_;
};
