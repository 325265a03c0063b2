// What the result tests share: the end-of-data status, and statements that
// must succeed before the part under test.
#pragma once

#include <string>

#include "raw_client.h"

namespace dorvd_test {

// The status of a row, line or record request past the last row.
constexpr int kEndOfData = -9;

// Executes statement and fails the test unless the server answers status 0.
void run(RawClient& client, const std::string& statement);

} // namespace dorvd_test
