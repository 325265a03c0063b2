#include "result_reading.h"

#include <gtest/gtest.h>

namespace dorvd_test {

void run(RawClient& client, const std::string& statement) {
    const auto reply = client.exec(statement);
    ASSERT_TRUE(reply.ok);
    ASSERT_EQ(reply.status, 0) << statement << ": " << reply.data;
}

} // namespace dorvd_test
