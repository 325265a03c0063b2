// dorv.exe as a Windows user or a batch job runs it: its messages reach
// standard error and no message box waits for a click.
#include <gtest/gtest.h>

#include "support/test_files.h"
#include "support/wine_fixture.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct ExeRun {
    bool finished = false; // false: still running after the time allowed (a box waits)
    DWORD status = 0;
    std::string out, err;
};

HANDLE temp_file(std::string* path) {
    char folder[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "dcl", 0, name);
    *path = name;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string file_text(const std::string& path) {
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    DeleteFileA(path.c_str());
    // Lines as the C runtime's text mode wrote them.
    std::string plain;
    for (char c : text)
        if (c != '\r') plain += c;
    return plain;
}

ExeRun run_dorv(const std::string& arguments, DWORD allowed_ms) {
    ExeRun run;
    std::string out_path, err_path;
    HANDLE out = temp_file(&out_path), err = temp_file(&err_path);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = out;
    start.hStdError = err;
    std::string line = "\"" + wine_path(DORV_EXE) + "\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
        ADD_FAILURE() << "cannot start " << line << ": " << GetLastError();
    } else {
        run.finished = WaitForSingleObject(process.hProcess, allowed_ms) == WAIT_OBJECT_0;
        if (!run.finished) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 10000);
        }
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = file_text(out_path);
    run.err = file_text(err_path);
    return run;
}

TEST(DorvExe, AFailedConnectIsSaidOnStandardErrorWithoutABox) {
    SetEnvironmentVariableA("DORV_MESSAGES", nullptr);
    // Port 1 on the loopback: nobody listens there.
    ExeRun run = run_dorv("-s 127.0.0.1 -p 1 version", 30000);
    ASSERT_TRUE(run.finished) << "dorv.exe did not end: a message box waits";
    EXPECT_EQ(run.status, 3u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("dorv: Unable to connect host.\ndorv:  Host = 127.0.0.1, Service = 1\n"
                            "dorv:  errno 10061: ",
                            0),
              0u)
        << run.err;
    EXPECT_NE(run.err.find("dorv: no connection to 127.0.0.1 service 1\n"), std::string::npos)
        << run.err;
}

TEST(DorvExe, TheUsersOwnChoiceOfTheBoxStands) {
    // A box waits for its click: the program is still running when its time is up.
    SetEnvironmentVariableA("DORV_MESSAGES", "box");
    ExeRun run = run_dorv("-s 127.0.0.1 -p 1 version", 8000);
    SetEnvironmentVariableA("DORV_MESSAGES", nullptr);
    EXPECT_FALSE(run.finished) << run.err;
    EXPECT_EQ(run.err.find("Unable to connect host"), std::string::npos) << run.err;
}

TEST(DorvExe, QueriesRunAgainstTheServer) {
    std::string port = fixture_port("dorvd_cli");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
    ExeRun run = run_dorv("-s 127.0.0.1 -p " + port +
                              " exec \"OPEN DATABASE 'sample'\" csv \"select id, name from "
                              "customers where id = 3\" query \"select * from nowhere\"",
                          30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.status, 1u) << run.err;
    EXPECT_EQ(run.out.rfind("id,name\n3,", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "dorv: no such table: nowhere\n");
    ExeRun help = run_dorv("--help", 30000);
    EXPECT_EQ(help.status, 0u);
    EXPECT_EQ(help.out.rfind("usage: dorv", 0), 0u) << help.out;
}

// A server that never answers: the system completes the connection into the
// listening queue, and nobody reads the statement.
class SilentServer {
  public:
    SilentServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener_, 4) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = std::to_string(ntohs(address.sin_port));
    }
    ~SilentServer() {
        closesocket(listener_);
        WSACleanup();
    }
    const std::string& port() const { return port_; }

  private:
    SOCKET listener_;
    std::string port_;
};

TEST(DorvExe, AReplyTimeOutEndsWithStatusThree) {
    SetEnvironmentVariableA("DORV_MESSAGES", nullptr);
    SilentServer server;
    ASSERT_FALSE(server.port().empty());
    write_text_file(windorv_ini_path(), "[Global]\nReplyTimeout=1\n");
    ExeRun run =
        run_dorv("-s 127.0.0.1 -p " + server.port() + " query \"select 1\" version", 30000);
    remove_file(windorv_ini_path());
    ASSERT_TRUE(run.finished) << "dorv.exe did not end: a message box waits";
    EXPECT_EQ(run.status, 3u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("dorv: Timed out waiting for the server:\n", 0), 0u) << run.err;
}

TEST(DorvExe, TheServersTextsAreSaidAsTheServers) {
    std::string port = fixture_port("dorvd_cli");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
    // The fixture's server refuses host commands with a text of its own.
    ExeRun run = run_dorv("-s 127.0.0.1 -p " + port + " host dir", 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.status, 1u) << run.err;
    EXPECT_EQ(run.err.rfind("dorv: server: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find("SERVER"), std::string::npos) << run.err;
}

} // namespace
