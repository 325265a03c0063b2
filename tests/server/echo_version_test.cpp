// Echo and version requests over the wire.
#include <gtest/gtest.h>

#include <string>

#include "test_server.h"

namespace {

using dorvd_test::RawClient;
using dorvd_test::TestServer;

std::string all_byte_values(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(i % 256);
    return text;
}

class EchoAndVersion : public ::testing::TestWithParam<size_t> {};

// Echo and version replies are single blocks whatever the block size.
TEST_P(EchoAndVersion, AreOneBlockEach) {
    const size_t block_size = GetParam();
    TestServer server([block_size](auto& o) { o.max_block = block_size; });
    RawClient client = server.connect();
    ASSERT_TRUE(client.connected());

    for (const std::string& text : {std::string(), std::string("x"), all_byte_values(1020)}) {
        ASSERT_TRUE(client.send_block('E', text));
        const auto block = client.read_block();
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(block->type, 'E');
        EXPECT_TRUE(block->last());
        EXPECT_EQ(block->payload, text) << "echo of " << text.size() << " bytes";
    }

    ASSERT_TRUE(client.send_block('S', "A"));
    const auto version = client.read_block();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->type, 'S');
    EXPECT_TRUE(version->last());
    ASSERT_GE(version->payload.size(), 2u);
    EXPECT_EQ(version->payload.substr(0, 2), std::string(2, '\0'));
    const std::string text = version->payload.substr(2);
    EXPECT_EQ(text.rfind("dorvd 2.10 (SQLite 3.", 0), 0u) << text;
    EXPECT_LT(text.size(), 255u);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, EchoAndVersion, ::testing::Values(1024, 8));

} // namespace
