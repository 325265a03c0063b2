// Fuzzes dorvd's request handling: the input is what a client sends, handed
// to the connection handler over a socket pair; a reader thread takes the
// replies and checks that they are well-formed blocks.
//
// Layout: one byte choosing the server's block size (0: 1024, else 7 + (b - 1) * 4,
// at most 1024), then the client's bytes.
//
// The data folder with the sample databases is made once per process; what an
// input changes in it is put back before the next, so every input starts from
// the same databases. Host commands are not allowed, as on a default server.
#include "fuzz/input_reader.h"

#include "server/protocol/connection.h"
#include "server/backends/sqlite/sample_data.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct PristineFile {
    std::string bytes;
    struct stat info;
};

fs::path data_dir;
std::map<std::string, PristineFile> pristine;

void fail_setup(const std::string& what) {
    fprintf(stderr, "fuzz_server_requests: %s\n", what.c_str());
    abort();
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool same_stat(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ino == b.st_ino;
}

// Puts the data folder back as it was made: files changed by the last input
// are rewritten, files it added are removed.
void restore_data_folder() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data_dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (pristine.count(name) == 0) fs::remove_all(entry.path(), ec);
    }
    for (auto& [name, file] : pristine) {
        const fs::path path = data_dir / name;
        struct stat now;
        if (stat(path.c_str(), &now) == 0 && same_stat(now, file.info)) continue;
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
        }
        if (stat(path.c_str(), &file.info) != 0) fail_setup("cannot restore " + path.string());
    }
}

void set_up() {
    char dir[] = "/tmp/dorv-fuzz-server-XXXXXX";
    if (mkdtemp(dir) == nullptr) fail_setup("mkdtemp failed");
    data_dir = dir;
    std::string error;
    if (!dorvd::prepare_data_folder(data_dir, error)) fail_setup(error);
    for (const auto& entry : fs::directory_iterator(data_dir)) {
        PristineFile file{read_file(entry.path()), {}};
        if (stat(entry.path().c_str(), &file.info) != 0) fail_setup("stat failed");
        pristine[entry.path().filename().string()] = std::move(file);
    }
    signal(SIGPIPE, SIG_IGN);
    atexit([] {
        std::error_code ec;
        fs::remove_all(data_dir, ec);
    });
}

// ------------------------------------------------------------------ replies

// Every reply block is 4 to 1024 bytes, of a type the server sends; 'U'
// (host command output) and "OK" never come, as host commands are off.
struct ReplyChecker {
    std::string pending;

    void feed(const char* bytes, size_t n) {
        pending.append(bytes, n);
        size_t pos = 0;
        while (pending.size() - pos >= 2) {
            const unsigned length = (static_cast<unsigned char>(pending[pos]) << 8) |
                                    static_cast<unsigned char>(pending[pos + 1]);
            if (length < 4 || length > 1024) fail("block length " + std::to_string(length));
            if (pending.size() - pos < length) break;
            const char type = pending[pos + 2];
            if (type != 'S' && type != 'M' && type != 'E') fail(std::string("block type ") + type);
            if (type == 'S' && length < 6) fail("status block of " + std::to_string(length));
            if (type == 'M' && pending.compare(pos + 4, length - 4, "OK") == 0 && length == 6)
                fail("host command accepted");
            pos += length;
        }
        pending.erase(0, pos);
    }

    void finish() {
        if (!pending.empty()) fail("reply ends inside a block");
    }

    [[noreturn]] static void fail(const std::string& what) {
        fprintf(stderr, "fuzz_server_requests: malformed reply: %s\n", what.c_str());
        abort();
    }
};

// The client's end: reads replies until the server closes its end, so the
// server never blocks on a full socket however much it answers.
std::mutex& mutex = *new std::mutex; // never destroyed: the reader waits at exit
std::condition_variable& wake = *new std::condition_variable;
int reader_fd = -1;
bool reader_done = true;

void reader_loop() {
    for (;;) {
        int fd;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [] { return reader_fd >= 0; });
            fd = reader_fd;
        }
        ReplyChecker checker;
        char buffer[65536];
        ssize_t n;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            checker.feed(buffer, static_cast<size_t>(n));
        checker.finish();
        {
            std::lock_guard<std::mutex> lock(mutex);
            reader_fd = -1;
            reader_done = true;
        }
        wake.notify_all();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_up();
    std::thread(reader_loop).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    const uint8_t block_choice = in.byte();
    const std::string request_bytes = in.rest();

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) fail_setup("socketpair failed");
    const int server_fd = pair[0];
    const int client_fd = pair[1];
    // The client's bytes, then the end of its output: the handler returns
    // once it has read them all.
    for (size_t sent = 0; sent < request_bytes.size();) {
        ssize_t n = send(client_fd, request_bytes.data() + sent, request_bytes.size() - sent,
                         MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break; // more than the pair holds: the rest is not sent
        sent += static_cast<size_t>(n);
    }
    shutdown(client_fd, SHUT_WR);
    {
        std::lock_guard<std::mutex> lock(mutex);
        reader_fd = client_fd;
        reader_done = false;
    }
    wake.notify_all();

    dorvd::ConnectionConfig config;
    config.max_block =
        block_choice == 0 ? 1024 : std::min<size_t>(1024, 7 + (block_choice - 1) * 4u);
    config.allow_host_commands = false;
    config.session.data_dir = data_dir;
    const std::atomic<bool> stopping{false};
    dorvd::serve_connection(server_fd, "fuzz", config, stopping);
    close(server_fd);

    {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [] { return reader_done; });
    }
    close(client_fd);
    restore_data_folder();
    return 0;
}
