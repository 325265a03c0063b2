// Statements behind comments and parentheses through the PostgreSQL backend:
// the replies the SQLite backend gives for the same table.
#include <gtest/gtest.h>

#include "commented_statements.h"
#include "pg_test_support.h"
#include "test_server.h"

namespace {

TEST(PgBackend, CommentedStatementsAnswerAsTheTableSays) {
    dorvd_test::TestServer pg(dorvd_test::use_postgresql);
    ASSERT_TRUE(pg.started());
    dorvd_test::check_commented_statements(dorvd_test::Engine::postgresql,
                                           [&] { return pg.connect(); });
}

} // namespace
