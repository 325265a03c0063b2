// The add-in's binding to dorv32. On Windows the add-in carries no import of
// dorv32.dll: attach loads the dorv32.dll that lies in the add-in's own folder,
// by its full path, and finds the calls it makes by ordinal, so the add-in loads
// wherever Excel finds it, whatever the host's search order. On POSIX the
// loader binds libdorv32.so by name before attach.
#pragma once

// Loads and binds dorv32; on failure shows which file was looked for, and
// where, in a box (caption "DORV32.XLL") and holds nothing. True when bound.
bool bind_dorv32();
// Releases the library if it is held.
void release_dorv32();
