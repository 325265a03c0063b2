// Statements behind comments and parentheses through the SQLite backend
// (the same table runs through PostgreSQL in pg_backend_test).
#include <gtest/gtest.h>

#include "commented_statements.h"
#include "test_server.h"

namespace {

TEST(CommentedStatements, AnswerThroughSqliteAsTheTableSays) {
    dorvd_test::TestServer server;
    ASSERT_TRUE(server.started());
    dorvd_test::check_commented_statements(dorvd_test::Engine::sqlite,
                                           [&] { return server.connect(); });
}

} // namespace
