#include "test_server.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace dorvd_test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dorvd-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a temporary folder";
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TestServer::TestServer(const std::function<void(dorvd::ServerOptions&)>& adjust) {
    dorvd::ServerOptions options;
    options.port = 0;
    options.data_dir = folder_.path();
    if (adjust) adjust(options);
    server_ = std::make_unique<dorvd::Server>(options);
    std::string error;
    started_ = server_->start(error);
    if (!started_) {
        ADD_FAILURE() << "server did not start: " << error;
        return;
    }
    thread_ = std::thread([this] { server_->run(); });
}

TestServer::~TestServer() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

} // namespace dorvd_test
