// What clients must not reach through SQL: the FTS3 tokenizer's pointers,
// extensions, files outside the data folder, pragmas on files and memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::TestServer;

constexpr int kRefused = 23;

TEST(Lockdown, Fts3TokenizerPointerSwapIsRefusedAndTheServerKeepsServing) {
    TestServer server;
    RawClient attacker = server.connect();
    RawClient bystander = server.connect();
    ASSERT_EQ(bystander.exec("CREATE TABLE kept(x)").status, 0);

    // Setting a tokenizer to an arbitrary address crashed the server as soon
    // as a table used it.
    const auto swap = attacker.exec("select fts3_tokenizer('simple', x'4141414141414141')");
    ASSERT_TRUE(swap.ok);
    EXPECT_EQ(swap.status, kRefused);
    EXPECT_NE(swap.data.find("fts3_tokenizer() is not for clients"), std::string::npos)
        << swap.data;
    EXPECT_EQ(attacker.explain().data, swap.data);

    const auto table = attacker.exec("create virtual table t using fts3(c, tokenize=simple)");
    ASSERT_TRUE(table.ok);
    EXPECT_EQ(table.status, 0) << table.data;
    ASSERT_EQ(attacker.exec("insert into t values ('alpha beta'), ('gamma')").status, 0);
    ASSERT_EQ(attacker.exec("select c from t where t match 'beta'").status, 0);
    EXPECT_EQ(attacker.statement('F').data, "Salpha beta"s + '\0');

    // The one-argument form gave away an address.
    const auto leak = attacker.exec("select hex(fts3_tokenizer('simple'))");
    EXPECT_EQ(leak.status, kRefused) << leak.data;

    EXPECT_EQ(attacker.echo("still here"), "still here");
    EXPECT_EQ(bystander.exec("SELECT count(*) FROM kept").status, 0);
    EXPECT_EQ(server.connect().echo("new"), "new");
}

struct RefusedCase {
    const char* statement;
    const char* message_part;
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, AnswersTheAuthorizationStatusWithItsReason) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    const auto reply = client.exec(GetParam().statement);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, kRefused) << reply.data;
    EXPECT_EQ(reply.data.rfind("not authorized: ", 0), 0u) << reply.data;
    EXPECT_NE(reply.data.find(GetParam().message_part), std::string::npos) << reply.data;
    EXPECT_EQ(client.explain().data, reply.data);
    // Nothing leaked out of the data folder, and the connection goes on.
    EXPECT_FALSE(std::filesystem::exists("/tmp/dorvd-lockdown.db"));
    EXPECT_EQ(client.echo("after"), "after");
    ASSERT_EQ(client.exec("SELECT count(*) FROM customers").status, 0);
    EXPECT_EQ(client.statement('F').data, "N6"s + '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(
        RefusedCase{"attach '/etc/passwd' as x", "ATTACH is not for clients"},
        RefusedCase{"attach ':memory:' as m", "ATTACH is not for clients"},
        RefusedCase{"attach 'file:/tmp/dorvd-lockdown.db?mode=rwc' as f", "ATTACH"},
        RefusedCase{"detach sample", "DETACH is not for clients"},
        RefusedCase{"vacuum into '/tmp/dorvd-lockdown.db'", "ATTACH"},
        RefusedCase{"select load_extension('/lib/x86_64-linux-gnu/libc.so.6')",
                    "load_extension() is not for clients"},
        RefusedCase{"select load_extension('libm', 'cos')", "load_extension()"},
        RefusedCase{"select fts3_tokenizer('porter')", "fts3_tokenizer()"},
        RefusedCase{"pragma writable_schema = 1", "PRAGMA writable_schema"},
        RefusedCase{"pragma writable_schema", "PRAGMA writable_schema"},
        RefusedCase{"pragma trusted_schema = 1", "PRAGMA trusted_schema"},
        RefusedCase{"pragma max_page_count = 2000000000", "PRAGMA max_page_count"},
        RefusedCase{"pragma temp.max_page_count = 2000000000", "PRAGMA max_page_count"},
        RefusedCase{"pragma cache_size = -2000000", "PRAGMA cache_size"},
        RefusedCase{"pragma mmap_size = 1000000000", "PRAGMA mmap_size"},
        RefusedCase{"pragma soft_heap_limit = 1", "PRAGMA soft_heap_limit"},
        RefusedCase{"pragma hard_heap_limit = 1", "PRAGMA hard_heap_limit"},
        RefusedCase{"pragma temp_store_directory = '/tmp'", "PRAGMA temp_store_directory"},
        RefusedCase{"pragma journal_mode = off", "PRAGMA journal_mode"},
        RefusedCase{"pragma locking_mode = exclusive", "PRAGMA locking_mode"},
        RefusedCase{"pragma sample.synchronous = off", "PRAGMA synchronous"},
        RefusedCase{"pragma shrink_memory", "PRAGMA shrink_memory"},
        RefusedCase{"pragma threads = 8", "PRAGMA threads"},
        RefusedCase{"pragma busy_timeout = 100000000", "PRAGMA busy_timeout"},
        RefusedCase{"pragma schema_version = 1", "PRAGMA schema_version"},
        RefusedCase{"pragma ignore_check_constraints = 1", "PRAGMA ignore_check_constraints"},
        RefusedCase{"pragma query_only = 1", "PRAGMA query_only"}));

// Functions the command-line shell adds; absent from the library, they
// must not be callable either way.
TEST(Lockdown, FileFunctionsOfTheShellAreNotThere) {
    TestServer server;
    RawClient client = server.connect();
    for (const char* statement :
         {"select readfile('/etc/passwd')", "select writefile('/tmp/dorvd-lockdown.txt', 'x')",
          "select edit('x', 'vi')"}) {
        SCOPED_TRACE(statement);
        const auto reply = client.exec(statement);
        ASSERT_TRUE(reply.ok);
        EXPECT_TRUE(reply.status == kRefused ||
                    (reply.status == 1 && reply.data.find("no such function") != std::string::npos))
            << reply.status << ": " << reply.data;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/dorvd-lockdown.txt"));
}

TEST(Lockdown, ReadingTheSchemaAndTheUsualSwitchesStillWork) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    for (const char* statement :
         {"pragma table_info('customers')", "select name from pragma_table_info('customers')",
          "pragma index_list('orders')", "pragma foreign_key_list('orders')",
          "pragma database_list", "pragma integrity_check", "pragma foreign_keys = on",
          "pragma foreign_keys", "pragma recursive_triggers = 1", "pragma user_version",
          "pragma page_size"}) {
        SCOPED_TRACE(statement);
        const auto reply = client.exec(statement);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, 0) << reply.data;
    }
    ASSERT_EQ(client.exec("select name from pragma_table_info('customers') limit 1").status, 0);
    EXPECT_EQ(client.statement('F').data, "Sid"s + '\0');
    // Temporary tables and views keep working with the schema untrusted.
    ASSERT_EQ(client.exec("create temp table t as select id from customers").status, 0);
    ASSERT_EQ(client.exec("create temp view v as select count(*) from t").status, 0);
    ASSERT_EQ(client.exec("select * from v").status, 0);
    EXPECT_EQ(client.statement('F').data, "N6"s + '\0');
}

} // namespace
