#include "support/scripted_peer.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef int socklen_t;
namespace {
constexpr int no_signal = 0;
void close_socket(int s) {
    closesocket(static_cast<SOCKET>(s));
}
struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};
WinsockUser winsock_user;
} // namespace
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
namespace {
// A client that closed must not end the test program with SIGPIPE.
constexpr int no_signal = MSG_NOSIGNAL;
void close_socket(int s) {
    close(s);
}
} // namespace
#endif

namespace {

constexpr int step_timeout_ms = 10000;

// Waits until the socket is readable; false on time-out or when stopping.
bool wait_readable(int s, const std::atomic<bool>& stopping, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(static_cast<unsigned>(s), &set);
        timeval tv = {0, 50000};
        int rc = select(s + 1, &set, nullptr, nullptr, &tv);
        if (rc > 0) return true;
        if (rc < 0 || stopping.load()) return false;
    }
    return false;
}

} // namespace

std::string wire_length(unsigned length) {
    std::string out;
    out += static_cast<char>((length >> 8) & 0xFF);
    out += static_cast<char>(length & 0xFF);
    return out;
}

std::string wire_block(char type, const std::string& payload, bool last) {
    return wire_length(static_cast<unsigned>(payload.size() + 4)) + type +
           static_cast<char>(last ? 1 : 0) + payload;
}

std::string status_block(int status, const std::string& data, bool last) {
    std::string payload;
    payload += static_cast<char>((status >> 8) & 0xFF);
    payload += static_cast<char>(status & 0xFF);
    return wire_block('S', payload + data, last);
}

std::string printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

ScriptedPeer::ScriptedPeer() {
    scripts_.emplace_back();
    listener_ = static_cast<int>(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 8);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
    stop();
}

ScriptedPeer& ScriptedPeer::expect(const std::string& bytes) {
    scripts_.back().push_back({Step::Expect, bytes, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::send(const std::string& bytes) {
    scripts_.back().push_back({Step::Send, bytes, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::trickle(const std::string& bytes, int gap_ms) {
    scripts_.back().push_back({Step::Trickle, bytes, gap_ms});
    return *this;
}

ScriptedPeer& ScriptedPeer::pause(int ms) {
    scripts_.back().push_back({Step::Pause, {}, ms});
    return *this;
}

ScriptedPeer& ScriptedPeer::close_connection() {
    scripts_.back().push_back({Step::Close, {}, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::answer_each(Answer answer) {
    scripts_.back().push_back({Step::AnswerEach, {}, 0, std::move(answer)});
    return *this;
}

std::string ScriptedPeer::received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool ScriptedPeer::answer_each_request(int s, const Answer& answer) {
    std::string pending;
    while (!stopping_.load()) {
        if (!wait_readable(s, stopping_, 100)) continue;
        char buffer[2048];
        int n = static_cast<int>(recv(s, buffer, sizeof buffer, 0));
        // A client that closes with answers unread resets the connection.
        if (n <= 0) {
            ++closed_;
            return false;
        }
        pending.append(buffer, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buffer, static_cast<size_t>(n));
        }
        while (pending.size() >= 2) {
            size_t length = (static_cast<unsigned char>(pending[0]) << 8) |
                            static_cast<unsigned char>(pending[1]);
            if (length < 4) {
                fail("request block of length " + std::to_string(length));
                return false;
            }
            if (pending.size() < length) break;
            std::string reply = answer(pending.substr(0, length));
            pending.erase(0, length);
            size_t sent = 0;
            while (sent < reply.size()) {
                int k = static_cast<int>(::send(s, reply.data() + sent,
                                                static_cast<int>(reply.size() - sent), no_signal));
                // A client that closed with answers still on their way has left.
                if (k <= 0) {
                    ++closed_;
                    return false;
                }
                sent += static_cast<size_t>(k);
            }
        }
    }
    return false;
}

ScriptedPeer& ScriptedPeer::next_connection() {
    scripts_.emplace_back();
    return *this;
}

void ScriptedPeer::start() {
    if (started_) return;
    started_ = true;
    acceptor_ = std::thread([this] { accept_loop(); });
}

void ScriptedPeer::fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(what);
}

std::vector<std::string> ScriptedPeer::failures() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

void ScriptedPeer::accept_loop() {
    size_t next = 0;
    for (;;) {
        // A connection already waiting is still taken when the test stops us.
        if (!wait_readable(listener_, stopping_, 100)) {
            if (stopping_.load()) break;
            continue;
        }
        int s = static_cast<int>(accept(listener_, nullptr, nullptr));
        if (s < 0) continue;
        ++accepted_;
        std::vector<Step> steps = next < scripts_.size() ? scripts_[next] : std::vector<Step>{};
        ++next;
        std::lock_guard<std::mutex> lock(mutex_);
        servers_.emplace_back([this, s, steps] { serve(s, steps); });
    }
}

void ScriptedPeer::serve(int s, std::vector<Step> steps) {
    // Small sends leave at once, so a trickle arrives in separate segments.
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    bool open = true;
    for (const Step& step : steps) {
        if (!open) break;
        if (step.kind == Step::Pause) {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.ms);
            while (!stopping_.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else if (step.kind == Step::Trickle) {
            for (char c : step.bytes) {
                if (::send(s, &c, 1, 0) != 1) {
                    fail("trickle failed");
                    open = false;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            }
        } else if (step.kind == Step::Send) {
            size_t sent = 0;
            while (sent < step.bytes.size()) {
                int n = static_cast<int>(::send(s, step.bytes.data() + sent,
                                                static_cast<int>(step.bytes.size() - sent), 0));
                if (n <= 0) {
                    fail("send failed after " + std::to_string(sent) + " bytes");
                    open = false;
                    break;
                }
                sent += static_cast<size_t>(n);
            }
        } else if (step.kind == Step::AnswerEach) {
            open = answer_each_request(s, step.answer);
        } else if (step.kind == Step::Expect) {
            std::string got;
            while (got.size() < step.bytes.size()) {
                if (!wait_readable(s, stopping_, step_timeout_ms)) break;
                char buffer[2048];
                size_t want = step.bytes.size() - got.size();
                if (want > sizeof buffer) want = sizeof buffer;
                int n = static_cast<int>(recv(s, buffer, static_cast<int>(want), 0));
                if (n <= 0) break;
                got.append(buffer, static_cast<size_t>(n));
            }
            if (got != step.bytes) {
                fail("expected [" + printable(step.bytes) + "] but received [" + printable(got) +
                     "]");
                open = false;
            }
        } else {
            open = false;
        }
    }
    // After the script: wait for the client to close (or the test to stop us).
    while (open && !stopping_.load()) {
        if (!wait_readable(s, stopping_, 100)) continue;
        char buffer[2048];
        int n = static_cast<int>(recv(s, buffer, sizeof buffer, 0));
        if (n == 0) ++closed_;
        if (n <= 0) break;
        fail("unexpected bytes after the script: [" +
             printable(std::string(buffer, static_cast<size_t>(n))) + "]");
    }
    close_socket(s);
}

bool ScriptedPeer::wait_closed_by_client(int n, int timeout_ms) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (closed_.load() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return closed_.load() >= n;
}

void ScriptedPeer::stop() {
    if (listener_ < 0) return;
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> servers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        servers.swap(servers_);
    }
    for (auto& t : servers)
        t.join();
    for (size_t i = static_cast<size_t>(accepted_.load()); i < scripts_.size(); ++i)
        if (!scripts_[i].empty())
            fail("scripted connection " + std::to_string(i + 1) + " never came");
    close_socket(listener_);
    listener_ = -1;
}
