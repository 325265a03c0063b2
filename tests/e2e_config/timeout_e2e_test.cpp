// Time-outs against the reference server: with the settings on, normal work
// goes on unchanged; a server that has stopped answering (its process
// halted, so the system still accepts connections for it) ends the call
// after ReplyTimeout. (A connect that gets no answer is proven by the
// library's own tests, natively and under wine.)
#include "client/connection/connection_table.h"
#include "client/include/dorv32.h"
#include "support/box_capture.h"
#include "support/dorvd_process.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <signal.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The process whose command line names the server's data folder.
int server_pid(const std::string& data_dir) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return -1;
    int found = -1;
    while (dirent* entry = readdir(proc)) {
        int pid = atoi(entry->d_name);
        if (pid <= 0) continue;
        std::string cmdline = read_text_file("/proc/" + std::string(entry->d_name) + "/cmdline");
        for (char& c : cmdline)
            if (c == '\0') c = ' ';
        if (cmdline.find(" --data " + data_dir) != std::string::npos) found = pid;
    }
    closedir(proc);
    return found;
}

// Halts the server for the life of the object: it answers nothing, while the
// system still completes connections into its listening queue.
class Halted {
  public:
    explicit Halted(int pid) : pid_(pid) {
        kill(pid_, SIGSTOP);
        // The signal stops the server's threads one by one, after kill returns:
        // wait until every one of them is stopped, or a request sent now may
        // still be answered.
        for (int i = 0; i < 200 && !all_threads_stopped(); ++i)
            usleep(10000);
    }
    ~Halted() { kill(pid_, SIGCONT); }

  private:
    bool all_threads_stopped() const {
        std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
        DIR* dir = opendir(tasks.c_str());
        if (dir == nullptr) return false;
        bool stopped = true;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string stat = read_text_file(tasks + "/" + entry->d_name + "/stat");
            // The state follows the command name in parentheses: "pid (name) T ...".
            size_t close = stat.rfind(')');
            if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'T')
                stopped = false;
        }
        closedir(dir);
        return stopped;
    }
    int pid_;
};

long long elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

class TimeoutsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        pid = server_pid(server.data_dir());
        ASSERT_GT(pid, 0);
    }
    void TearDown() override {
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
        remove_file(windorv_ini_path());
    }
    int connect() {
        char transport[] = "WINSOCK";
        return hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
    }
    std::string timed_out(int handle, int seconds) {
        return "Dorv|Timed out waiting for the server:\n handle = " + std::to_string(handle) +
               ", " + std::to_string(seconds) + " seconds";
    }
    DorvdProcess server;
    int pid = -1;
    BoxCapture boxes;
};

TEST_F(TimeoutsEndToEnd, WithTimeOutsSetAnAnsweringServerWorksAsBefore) {
    write_text_file(windorv_ini_path(), "[Global]\nConnectTimeout=5\nReplyTimeout=5\n");
    int handle = connect();
    ASSERT_GE(handle, 0);
    char text[1100];
    EXPECT_EQ(hl_dorv_version(handle, text), 0);
    char open[] = "OPEN DATABASE 'sample'";
    EXPECT_EQ(hl_dorv_exec(handle, open), 0);
    char query[] = "SELECT COUNT(*) AS n FROM customers";
    EXPECT_EQ(hl_dorv_exec(handle, query), 0);
    int rows = 0;
    while (hl_dorv_next_row(handle, text, sizeof text) == 0)
        ++rows;
    EXPECT_GT(rows, 0);
    EXPECT_EQ(hl_echo(handle, "still here"), 0);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(hl_disconnect(handle), 0);
}

TEST_F(TimeoutsEndToEnd, AServerThatStopsAnsweringBreaksTheConnectionAfterReplyTimeout) {
    write_text_file(windorv_ini_path(), "[Global]\nReplyTimeout=1\n");
    int handle = connect();
    ASSERT_GE(handle, 0);
    char text[1100];
    ASSERT_EQ(hl_dorv_version(handle, text), 0);
    {
        Halted halted(pid);
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(hl_dorv_version(handle, text), 100);
        long long took = elapsed_ms(started);
        EXPECT_GE(took, 900);
        EXPECT_LT(took, 4000);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{timed_out(handle, 1)});
    }
    // Late answers change nothing: the connection stays broken until closed.
    boxes.clear();
    EXPECT_EQ(hl_echo(handle, "x"), -1);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Connection broken:\n handle = " +
                                       std::to_string(handle) + "\n Close it with hl_disconnect."});
    EXPECT_EQ(hl_disconnect(handle), 0);
    EXPECT_EQ(connection_count, 0);
    // A new connection works.
    handle = connect();
    ASSERT_GE(handle, 0);
    EXPECT_EQ(hl_dorv_version(handle, text), 0);
}

TEST_F(TimeoutsEndToEnd, AConnectionFileSectionSetsTheReplyTimeoutOfItsConnection) {
    std::string file = test_temp_dir() + "/timeout_e2e.ini";
    write_text_file(file, "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                              server.service() + "\n[slow]\nDatabase=sample\nReplyTimeout=2\n");
    Halted halted(pid);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_connect_ini(file.c_str(), "slow", 0, 1), -1);
    long long took = elapsed_ms(started);
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 5000);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("Timed out waiting for the server:\n handle = "),
              std::string::npos);
    EXPECT_NE(boxes.boxes[0].text.find(", 2 seconds"), std::string::npos);
    EXPECT_EQ(connection_count, 0);
}

} // namespace
