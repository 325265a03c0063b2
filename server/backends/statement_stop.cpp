#include "server/backends/statement_stop.h"

#include <string>

#include "server/base/status_codes.h"

namespace dorvd {

std::optional<Outcome> stopped_statement(StopReason reason, int timeout_s, std::string_view more) {
    std::string text;
    int16_t status = kStatusInterrupted;
    switch (reason) {
    case StopReason::timeout:
        status = kStatusStatementTimeout;
        text = "The statement ran longer than this server allows (" + std::to_string(timeout_s) +
               " s) and was stopped.";
        break;
    case StopReason::client_gone:
        text = "The statement was stopped: the client closed the connection.";
        break;
    case StopReason::shutdown:
        text = "The statement was stopped: the server is shutting down.";
        break;
    case StopReason::abandoned:
    case StopReason::none:
        return std::nullopt;
    }
    return Outcome{status, text.append(more)};
}

} // namespace dorvd
