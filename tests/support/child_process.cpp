#include "support/child_process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string make_ini_folder(int read_ahead) {
    char folder[] = "/tmp/dorv_ini_XXXXXX";
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
