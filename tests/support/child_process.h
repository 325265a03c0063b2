// Child processes of a test or benchmark program: the program runs itself
// again with other arguments (each child with its own windorv.ini, read when
// the library loads) and reads what the child prints. Linux only.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A temporary folder holding windorv.ini with "ReadAhead=N" in section
// "Global"; empty on failure. remove_folder deletes such a folder.
std::string make_ini_folder(int read_ahead);
void remove_folder(const std::string& folder);

// Runs this program again with the arguments, DORV_INI_DIR set to ini_folder
// (unset when empty); its standard output is read through *out_fd.
pid_t spawn_self(const std::vector<std::string>& args, const std::string& ini_folder, int* out_fd);
// Reads the child's output to its end and waits for it; the exit status in
// *status (-1 when the child did not exit by itself, e.g. killed by a signal).
std::string collect_child(pid_t pid, int out_fd, int* status);
// spawn_self and collect_child in one; false when it failed (output kept).
bool run_self(const std::vector<std::string>& args, const std::string& ini_folder,
              std::string* output);

// "key=value" out of a line of words; empty when absent.
std::string word_value(const std::string& line, const std::string& key);
