#include "bench/bench_support.h"

#include "client/include/dorv32.h"
#include "support/dorvd_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int lib_exec(int handle, const std::string& statement) {
    std::vector<char> text(statement.begin(), statement.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

std::string make_ini_folder(int read_ahead) {
    char folder[] = "/tmp/dorv_bench_ini_XXXXXX";
    if (mkdtemp(folder) == nullptr) return "";
    std::string path = std::string(folder) + "/windorv.ini";
    FILE* f = fopen(path.c_str(), "w");
    if (f == nullptr) return "";
    fprintf(f, "[Global]\nReadAhead=%d\n", read_ahead);
    fclose(f);
    return folder;
}

void remove_folder(const std::string& folder) {
    if (folder.empty()) return;
    std::string command = "rm -rf '" + folder + "'";
    if (system(command.c_str()) != 0) {
    }
}

pid_t spawn_self(const std::vector<std::string>& args, const std::string& ini_folder, int* out_fd) {
    // Everything the child needs is built before fork: the parent has threads.
    std::vector<std::string> words = {"/proc/self/exe"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_words;
    for (char** e = environ; *e != nullptr; ++e)
        if (strncmp(*e, "DORV_INI_DIR=", 13) != 0) env_words.push_back(*e);
    if (!ini_folder.empty()) env_words.push_back("DORV_INI_DIR=" + ini_folder);
    std::vector<char*> envp;
    for (auto& w : env_words)
        envp.push_back(w.data());
    envp.push_back(nullptr);
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return -1;
    exe[n] = '\0';

    fflush(stdout);
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], 1);
        execve(exe, argv.data(), envp.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    if (pid < 0) {
        close(pipe_fds[0]);
        return -1;
    }
    *out_fd = pipe_fds[0];
    return pid;
}

std::string collect_child(pid_t pid, int out_fd, int* status) {
    std::string output;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(out_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
    }
    close(out_fd);
    *status = -1;
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(raw)) *status = WEXITSTATUS(raw);
    return output;
}

bool run_self(const std::vector<std::string>& args, const std::string& ini_folder,
              std::string* output) {
    int fd = -1;
    pid_t pid = spawn_self(args, ini_folder, &fd);
    if (pid < 0) return false;
    int status = 0;
    *output = collect_child(pid, fd, &status);
    return status == 0;
}

std::string word_value(const std::string& line, const std::string& key) {
    std::string wanted = key + "=";
    size_t at = 0;
    while ((at = line.find(wanted, at)) != std::string::npos) {
        if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\n') {
            size_t start = at + wanted.size();
            size_t end = line.find_first_of(" \n", start);
            return line.substr(start, end == std::string::npos ? end : end - start);
        }
        at += wanted.size();
    }
    return "";
}

namespace {

std::string read_file(const std::string& path) {
    FILE* f = fopen(path.c_str(), "r");
    if (f == nullptr) return "";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

} // namespace

pid_t find_server_pid(const std::string& data_dir) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return -1;
    pid_t found = -1;
    while (dirent* entry = readdir(proc)) {
        pid_t pid = atoi(entry->d_name);
        if (pid <= 0) continue;
        std::string cmdline = read_file("/proc/" + std::string(entry->d_name) + "/cmdline");
        // Arguments are separated by zero bytes: "--data\0<folder>\0".
        std::string wanted = std::string("--data") + '\0' + data_dir + '\0';
        if (cmdline.find(wanted) != std::string::npos) {
            found = pid;
            break;
        }
    }
    closedir(proc);
    return found;
}

long proc_status_kb(pid_t pid, const char* field) {
    std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    std::string wanted = std::string("\n") + field + ":";
    size_t at = status.find(wanted);
    if (at == std::string::npos) return -1;
    return atol(status.c_str() + at + wanted.size());
}

int proc_threads(pid_t pid) {
    return static_cast<int>(proc_status_kb(pid, "Threads"));
}

long proc_cpu_ticks(pid_t pid) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t at = stat.rfind(')'); // the command name may hold blanks
    if (at == std::string::npos) return -1;
    // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
    const char* p = stat.c_str() + at + 2;
    long utime = 0, stime = 0;
    for (int field = 3; field <= 15 && *p != '\0'; ++field) {
        if (field == 14) utime = atol(p);
        if (field == 15) stime = atol(p);
        p = strchr(p, ' ');
        if (p == nullptr) break;
        ++p;
    }
    return utime + stime;
}

bool start_server_logged(DorvdProcess& server, const std::vector<std::string>& options,
                         const std::string& log_path) {
    // The server inherits our standard error at its start: point it at the file meanwhile.
    // Our buffered output is written first, or the launched process would write it again.
    fflush(stdout);
    fflush(stderr);
    int saved = dup(2);
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (saved < 0 || log < 0) {
        if (saved >= 0) close(saved);
        if (log >= 0) close(log);
        return server.start(options);
    }
    dup2(log, 2);
    close(log);
    bool started = server.start(options);
    dup2(saved, 2);
    close(saved);
    return started;
}

bool make_empty_database(const std::string& data_dir, const std::string& name) {
    std::string path = data_dir + "/" + name + ".db";
    FILE* f = fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    fclose(f);
    return true;
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
