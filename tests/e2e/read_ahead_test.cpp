// Read-ahead against the reference server: every result reads the same with
// ReadAhead 0 and 64, and a connection stays in step across early ends.
#include "support/dorvd_process.h"

#include "dorv32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int exec(int handle, const std::string& statements) {
    std::vector<char> text(statements.begin(), statements.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

// One transcript of everything the caller sees, for a given depth.
std::string session(const DorvdProcess& server, int depth) {
    std::string dir = "/tmp/dorv_read_ahead_" + std::to_string(getpid());
    std::string mkdir = "mkdir -p " + dir;
    if (system(mkdir.c_str()) != 0) return "<no folder>";
    std::ofstream(dir + "/windorv.ini") << "[Global]\nReadAhead=" << depth << "\n";
    setenv("DORV_INI_DIR", dir.c_str(), 1);
    char transport[] = "winsock";
    int handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
    unsetenv("DORV_INI_DIR");
    if (handle < 0) return "<no connection>";
    std::string out;
    auto values = [&](int rows_wanted) {
        int status;
        int rows = 0;
        while ((status = hl_dorv_next_val(handle)) == 0) {
            char field[1024];
            int s;
            while ((s = hl_dorv_tfield(handle, field, sizeof field)) == 0)
                out += std::string(field) + "|";
            out += "<" + std::to_string(s) + ">\n";
            if (++rows == rows_wanted) return;
        }
        out += "end " + std::to_string(status) + "\n";
    };
    out += "open " + std::to_string(exec(handle, "OPEN DATABASE 'sample'")) + "\n";
    exec(handle, "select * from customers order by id");
    values(-1);
    // Abandoned after three rows: the next statement gets its own result.
    exec(handle, "select * from products order by id");
    values(3);
    exec(handle, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 700) "
                 "select i, 'row ' || i from n");
    values(-1);
    out += "after end " + std::to_string(hl_dorv_next_val(handle)) + "\n";
    exec(handle, "select name from customers order by id");
    char line[1024];
    int status;
    while ((status = hl_dorv_next_row(handle, line, sizeof line)) == 0)
        out += std::string(line) + "\n";
    out += "lines end " + std::to_string(status) + "\n";
    out += "failing " + std::to_string(exec(handle, "select * from no_such_table")) + "\n";
    out += "row after failure " + std::to_string(hl_dorv_next_val(handle)) + "\n";
    exec(handle, "select count(*) from products");
    values(-1);
    out += "disconnect " + std::to_string(hl_disconnect(handle)) + "\n";
    return out;
}

TEST(ReadAhead, ResultsAreTheSameWithAndWithoutReadAhead) {
    for (const char* block_size : {"1024", "7"}) {
        SCOPED_TRACE(block_size);
        DorvdProcess server;
        ASSERT_TRUE(server.start({"--block-size", block_size})) << server.error();
        std::string plain = session(server, 0);
        ASSERT_NE(plain.find("row 700"), std::string::npos) << plain;
        ASSERT_NE(plain.find("end -9"), std::string::npos) << plain;
        EXPECT_EQ(session(server, 64), plain);
        EXPECT_EQ(session(server, 5), plain);
    }
}

} // namespace
