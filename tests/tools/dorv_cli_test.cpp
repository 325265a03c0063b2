// The dorv program against the reference server, as a user runs it.
#include "support/dorvd_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct CliRun {
    std::string out;
    int status;
};

CliRun dorv(const std::string& arguments) {
    std::string command = std::string(DORV_PATH) + " " + arguments + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    CliRun r{"", -1};
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class DorvCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start({"--allow-host-commands", "--block-size", "32"}))
            << server.error();
    }
    std::string at() { return "-s 127.0.0.1 -p " + server.service() + " "; }
    DorvdProcess server;
};

TEST_F(DorvCli, QueriesPrintTablesAndCsv) {
    CliRun r = dorv(at() + "exec \"OPEN DATABASE 'sample'\" query \"select id, name from customers "
                           "where id <= 2 order by id\" "
                           "csv \"select name, price from products where id = 1\"");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "id name\n"
                     "-------\n"
                     "1  M\xC3\xBCller GmbH\n"
                     "2  S\xC3\xB8ren Nielsen\n"
                     "(2 rows)\n"
                     "name,price\n"
                     "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                     "e,4.5\n");
}

TEST_F(DorvCli, AFailingStatementPrintsTheServersExplanationAndFails) {
    CliRun r =
        dorv(at() + "exec \"OPEN DATABASE 'sample'\" query \"select * from nowhere\" version");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("dorv: no such table: nowhere"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("dorvd 2.10"), std::string::npos) << "stops at the failure";
}

TEST_F(DorvCli, EchoVersionAndHostCommands) {
    CliRun r = dorv(
        at() + "echo 'hello there' version host 'printf \"one\\ntwo\\n\"' hostblk 'echo blocks'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("echo ok: hello there\ndorvd 2.10", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\none\ntwo\nblocks\n"), std::string::npos) << r.out;
}

TEST_F(DorvCli, AConnectionThatFailsIsReported) {
    DorvdProcess other;
    ASSERT_TRUE(other.start());
    std::string port = other.service();
    other.stop();
    CliRun r = dorv("-s 127.0.0.1 -p " + port + " version");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("errno 10061: [10061] Connection refused"), std::string::npos) << r.out;
}

} // namespace
