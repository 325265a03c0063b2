// Why the server stopped a running statement, and what its client is told:
// the same on every backend.
#pragma once

#include <optional>
#include <string_view>

#include "server/backends/backend.h"

namespace dorvd {

// abandoned: the client moved on from a result it had not read to its end.
enum class StopReason { none, shutdown, timeout, client_gone, abandoned };

// The answer for a statement stopped for reason, its text followed by more;
// none when the client is told nothing of its own (none, abandoned).
std::optional<Outcome> stopped_statement(StopReason reason, int timeout_s,
                                         std::string_view more = {});

} // namespace dorvd
