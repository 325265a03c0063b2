// The name of the data folder's password file: the session reads it, the
// sample set-up writes it.
#pragma once

namespace dorvd {

constexpr const char* kPasswordFileName = "passwords";

} // namespace dorvd
