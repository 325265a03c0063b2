// The transport's calls for callers outside the library's calls (declared in
// client/transport/wnsk.h): whole blocks, and what goes wrong shown at once.
#include "client/connection/block_io.h"
#include "common/diagnostics.h"

namespace {

// Runs a transport call with a report of its own and shows what it recorded.
template <typename Call> int shown(Call call) {
    Report report;
    clear_report(&report);
    int result = call(report);
    show_report(&report);
    return result;
}

} // namespace

int wnsk_setup() {
    return shown([](Report& report) { return wnsk_setup(report); });
}

int wnsk_connect(const char* host, const char* service) {
    return shown([=](Report& report) { return wnsk_connect(host, service, 0, report); });
}

int wnsk_disconnect(int socket) {
    return shown([=](Report& report) { return wnsk_disconnect(socket, report); });
}

int wnsk_read(int socket, char* block) {
    return shown([=](Report& report) {
        bool lost = false;
        return read_block({socket, nullptr, 0, &report}, block, &lost);
    });
}

int wnsk_write(int socket, char* block) {
    return shown([=](Report& report) { return write_block({socket, nullptr, 0, &report}, block); });
}
