#include "support/dorvd_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool DorvdProcess::start(const std::vector<std::string>& options) {
    return start_program(DORVD_PATH, options);
}

bool DorvdProcess::start_program(const std::string& program,
                                 const std::vector<std::string>& options) {
    char folder[] = "/tmp/dorvd_e2e_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        error_ = "no temporary folder";
        return false;
    }
    data_dir_ = folder;
    std::string log = data_dir_ + ".log";
    std::vector<std::string> args = {program, "--port", "0", "--data", data_dir_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The environment is made here: the child may only call async-signal-safe functions.
    std::vector<std::string> env_texts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : environment_)
            replaced = replaced || extra.rfind(name, 0) == 0;
        if (!replaced) env_texts.push_back(text);
    }
    env_texts.insert(env_texts.end(), environment_.begin(), environment_.end());
    std::vector<char*> envp;
    for (auto& e : env_texts)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // Our buffered output is written first, or the child could write it again.
    fflush(stdout);
    fflush(stderr);
    pid_ = fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls here: the parent may have threads.
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0) _exit(126);
        if (!error_log_.empty()) {
            int err = open(error_log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err < 0 || dup2(err, 2) < 0) _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    // The server says where it listens on its standard output.
    for (int tries = 0; tries < 500 && port_ == 0; ++tries) {
        usleep(10000);
        FILE* in = fopen(log.c_str(), "r");
        if (in == nullptr) continue;
        char line[512];
        while (fgets(line, sizeof line, in) != nullptr) {
            const char* at = strstr(line, "listening on ");
            const char* colon = at != nullptr ? strrchr(at, ':') : nullptr;
            if (colon != nullptr) port_ = atoi(colon + 1);
        }
        fclose(in);
    }
    if (port_ == 0) {
        error_ = "dorvd did not say where it listens";
        stop();
        return false;
    }
    return true;
}

long DorvdProcess::terminate(int wait_ms) {
    if (pid_ <= 0) return 0;
    const auto start = std::chrono::steady_clock::now();
    kill(pid_, SIGTERM);
    long waited = 0;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
        if (waited >= wait_ms) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            waited = -1;
            break;
        }
        usleep(1000);
    }
    if (waited >= 0) {
        waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
    }
    pid_ = -1;
    return waited;
}

void DorvdProcess::stop(int kill_after_ms) {
    terminate(kill_after_ms);
    if (!data_dir_.empty()) {
        std::string command = "rm -rf '" + data_dir_ + "' '" + data_dir_ + ".log'";
        if (system(command.c_str()) != 0) {
        }
        data_dir_.clear();
    }
}

bool DorvdProcess::make_empty_database(const std::string& name) const {
    FILE* f = fopen((data_dir_ + "/" + name + ".db").c_str(), "w");
    if (f == nullptr) return false;
    fclose(f);
    return true;
}
