// The library's string resources on POSIX, from the same list as the Windows
// string table.
#include "client/resources/string_table.h"

namespace {
const PlatStringEntry entries[] = {
#define SOCKET_ERROR_TEXT(id, text) {id, text},
#include "client/resources/socket_error_texts.inc"
#undef SOCKET_ERROR_TEXT
};
const PlatStringTable table = {entries, static_cast<int>(sizeof entries / sizeof entries[0])};
} // namespace

PlatInstance dorv32_string_table() {
    return const_cast<PlatStringTable*>(&table);
}
