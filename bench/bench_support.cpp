#include "bench/bench_support.h"

#include "client/include/dorv32.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sstream>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int lib_exec(int handle, const std::string& statement) {
    std::vector<char> text(statement.begin(), statement.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

bool RawClient::connect(int port) {
    close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close();
        return false;
    }
    int yes = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return true;
}

void RawClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool RawClient::send_request(const std::string& payload) {
    std::string block;
    size_t length = payload.size() + 4;
    if (fd_ < 0 || length > 1024) return false;
    block += static_cast<char>(length >> 8);
    block += static_cast<char>(length & 0xFF);
    block += 'S';
    block += '\1';
    block += payload;
    size_t sent = 0;
    while (sent < block.size()) {
        ssize_t n = send(fd_, block.data() + sent, block.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool RawClient::receive(char* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = recv(fd_, buffer + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

int RawClient::read_reply() {
    int status = -100;
    for (;;) {
        char block[1024];
        if (!receive(block, 2)) return -100;
        size_t n =
            (static_cast<unsigned char>(block[0]) << 8) | static_cast<unsigned char>(block[1]);
        if (n < 4 || n > 1024 || !receive(block + 2, n - 2)) return -100;
        if (block[2] == 'S' && n >= 6)
            status = static_cast<short>((static_cast<unsigned char>(block[4]) << 8) |
                                        static_cast<unsigned char>(block[5]));
        if (block[2] != 'S') status = -100; // a text message in place of the reply
        if (block[3] != 0) return status;
    }
}

std::string machine_note() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) < 0) load[0] = -1;
    char text[128];
    snprintf(text, sizeof text, "%ld cores, load average %.1f", sysconf(_SC_NPROCESSORS_ONLN),
             load[0]);
    return text;
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> words;
    std::stringstream in(text);
    std::string w;
    while (std::getline(in, w, ','))
        if (!w.empty()) words.push_back(w);
    return words;
}

std::vector<int> split_numbers(const std::string& text) {
    std::vector<int> out;
    for (const std::string& w : split_list(text))
        out.push_back(atoi(w.c_str()));
    return out;
}

bool fill_big_table(const DorvdProcess& server, const char* name, long rows) {
    char transport[] = "WINSOCK";
    int handle = -1;
    const bool filled =
        server.make_empty_database(name) &&
        (handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0)) >= 0 &&
        lib_exec(handle, std::string("OPEN DATABASE '") + name + "'") == 0 &&
        lib_exec(handle, "create table big (id integer primary key, name text, price real, "
                         "stock integer)") == 0 &&
        lib_exec(handle, "insert into big with recursive n(i) as (select 1 union all select i + "
                         "1 from n where i < " +
                             std::to_string(rows) +
                             ") select i, 'product ' || i, i * 0.25, i % 97 from n") == 0;
    if (handle >= 0) hl_disconnect(handle);
    return filled;
}
