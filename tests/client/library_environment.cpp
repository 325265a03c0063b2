// Attaches the statically linked library once for the whole test program, as
// the loader would attach dorv32.dll.
#include "client/connection/library.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include "client/resources/string_table.h"
#endif

namespace {
class LibraryEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        test_temp_dir(); // also points DORV_INI_DIR at it on POSIX
        remove_file(windorv_ini_path());
#ifdef _WIN32
        dorv_library_attach(GetModuleHandleA(nullptr));
#else
        dorv_library_attach(dorv32_string_table());
#endif
    }
    void TearDown() override {
        dorv_library_detach();
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);
} // namespace
