// Windows test programs under wine reach the native reference server that a
// CTest fixture started (dorvd_add_fixture): its port is in a file below the
// folder named by DORV_FIXTURE_DIR, a Linux path.
#pragma once

#include <string>

// A Linux path as Wine's drive Z: shows it (Z:\...); other paths as they are.
std::string wine_path(std::string path);
// The port fixture `name` wrote, or "" when it has no server (the fixture
// wrote "none", or there is no fixture folder).
std::string fixture_port(const std::string& name);
