#include "support/dorvd_process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
    pid_ = fork();
    if (pid_ == 0) {
        if (freopen(log.c_str(), "w", stdout) == nullptr) _exit(126);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
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

void DorvdProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (!data_dir_.empty()) {
        std::string command = "rm -rf '" + data_dir_ + "' '" + data_dir_ + ".log'";
        if (system(command.c_str()) != 0) {
        }
        data_dir_.clear();
    }
}
