// POSIX: the library's string resources as a platform instance.
#pragma once

#include "platform/platform.h"

PlatInstance dorv32_string_table();
