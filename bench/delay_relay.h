// A loopback TCP relay that holds every chunk it forwards for a fixed one-way
// time, in both directions, so a local server looks as far away as a LAN or a
// VPN: no root, no kernel settings. Threads and a timed queue per direction.
// It also counts the protocol's blocks passing through, to show how many row
// requests a client really keeps in flight.
#pragma once

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class DelayRelay {
  public:
    DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;
    ~DelayRelay();

    // Listens on a free loopback port and forwards to 127.0.0.1:target_port.
    bool start(int target_port, std::string* error);
    void stop();
    int port() const { return port_; }

    // Applies to chunks that arrive from now on; change it only while idle.
    void set_one_way(std::chrono::microseconds delay) { delay_us_.store(delay.count()); }

    // Most requests seen sent by a client whose replies had not yet been
    // handed to it, since the last reset (over all connections).
    void reset_in_flight() { max_in_flight_.store(0); }
    long max_in_flight() const { return max_in_flight_.load(); }

    struct Connection; // one relayed connection and its four threads

  private:
    void accept_loop();
    void reap(bool all);

    int listen_fd_ = -1;
    int port_ = 0;
    int target_port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> delay_us_{0};
    std::atomic<long> max_in_flight_{0};
    std::thread acceptor_;
    std::mutex connections_mutex_;
    std::list<std::unique_ptr<Connection>> connections_;

    friend struct Connection;
};
