// A library connection to a scripted peer, for protocol tests.
#pragma once

#include "client/connection/connection_table.h"
#include "client/include/dorv32.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <string>

// Request blocks as the library sends them.
inline std::string request(char code, const std::string& rest = "") {
    return wire_block('S', std::string(1, code) + rest);
}
inline std::string exec_request(const std::string& statement) {
    return wire_block('S', std::string("E\0", 2) + statement);
}

struct PeerSession {
    ScriptedPeer peer;
    int handle = -1;

    // Starts the peer with its script and connects to it.
    void open(int warnings = 0) {
        peer.start();
        char transport[] = "WINSOCK";
        handle = hl_connect(transport, "127.0.0.1", peer.service().c_str(), warnings);
        ASSERT_GE(handle, 0);
    }
    ConnectionRecord* record() const {
        for (int i = 0; i < connection_count; ++i)
            if (connection_table[i].socket == handle) return &connection_table[i];
        return nullptr;
    }
    // Disconnects, stops the peer and checks that it saw what it expected.
    void close() {
        if (handle >= 0) hl_disconnect(handle);
        handle = -1;
        peer.stop();
        auto failures = peer.failures();
        EXPECT_TRUE(failures.empty()) << failures[0];
    }
    ~PeerSession() {
        if (handle >= 0) close();
    }
};
