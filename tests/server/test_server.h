// A dorvd server run in-process on a free loopback port with its own
// temporary data folder, for the duration of one test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "server/options.h"
#include "raw_client.h"
#include "server/server.h"

namespace dorvd_test {

// A temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class TestServer {
  public:
    // adjust may change the options; port and data folder are set before.
    explicit TestServer(const std::function<void(dorvd::ServerOptions&)>& adjust = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool started() const { return started_; }
    uint16_t port() const { return server_->port(); }
    const std::filesystem::path& data_dir() const { return folder_.path(); }
    RawClient connect() const { return RawClient(port()); }

  private:
    TempFolder folder_;
    std::unique_ptr<dorvd::Server> server_;
    std::thread thread_;
    bool started_ = false;
};

} // namespace dorvd_test
