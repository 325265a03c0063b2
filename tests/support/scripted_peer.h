// A scripted peer: a loopback TCP server in a thread that expects given request
// bytes and answers given bytes (whole blocks, or broken ones).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A block as it travels: 16-bit big-endian length, type, last-block flag, payload.
std::string wire_block(char type, const std::string& payload, bool last = true);
// A status block ('S'): status as signed big-endian 16 bits, then data.
std::string status_block(int status, const std::string& data, bool last = true);
// Raw length bytes (big-endian), for broken blocks.
std::string wire_length(unsigned length);

class ScriptedPeer {
  public:
    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Steps for the connection being scripted (the first accepted one, until
    // next_connection()). After its last step a connection reads until the
    // client closes it. Connections beyond the scripted ones just stay open.
    ScriptedPeer& expect(const std::string& bytes);
    ScriptedPeer& send(const std::string& bytes);
    // Sends the bytes one at a time, `gap_ms` apart, each in its own segment.
    ScriptedPeer& trickle(const std::string& bytes, int gap_ms = 2);
    // Waits before the next step (a server that is slow or silent for a while).
    ScriptedPeer& pause(int ms);
    ScriptedPeer& close_connection();
    // Serves like a server that answers requests in order as they arrive:
    // reads whole request blocks and sends `answer(block)` for each (an empty
    // answer sends nothing), until the client closes. Ends the script; every
    // byte received is kept for received().
    using Answer = std::function<std::string(const std::string& request)>;
    ScriptedPeer& answer_each(Answer answer);
    // The bytes an answer_each step has received so far.
    std::string received();
    ScriptedPeer& next_connection();

    // Starts accepting; the script must be complete.
    void start();
    std::string service() const { return std::to_string(port_); }
    unsigned short port() const { return port_; }
    // Stops: waits (bounded) for the scripted connections to finish their steps.
    void stop();
    // What went wrong on the peer's side (unexpected bytes, time-outs).
    std::vector<std::string> failures();
    int accepted() const { return accepted_.load(); }
    // Connections that the client closed after their script had run.
    int closed_by_client() const { return closed_.load(); }
    // Waits (bounded) until the client has closed n connections; true when it has.
    bool wait_closed_by_client(int n, int timeout_ms = 5000) const;

  private:
    struct Step {
        enum Kind { Expect, Send, Trickle, Pause, Close, AnswerEach } kind;
        std::string bytes;
        int ms; // Trickle: between bytes; Pause: how long
        Answer answer = nullptr;
    };
    bool answer_each_request(int socket, const Answer& answer);
    void accept_loop();
    void serve(int socket, std::vector<Step> steps);
    void fail(const std::string& what);

    int listener_ = -1;
    unsigned short port_ = 0;
    std::vector<std::vector<Step>> scripts_;
    std::thread acceptor_;
    std::vector<std::thread> servers_;
    std::mutex mutex_;
    std::vector<std::string> failures_;
    std::string received_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> closed_{0};
    bool started_ = false;
};

// Bytes printed readably for failure messages.
std::string printable(const std::string& bytes);
