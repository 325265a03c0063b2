#include "platform/platform.h"

#include <string.h>

int plat_load_string(PlatInstance instance, unsigned id, char* buffer, int size) {
    if (size < 1) return 0;
    buffer[0] = '\0';
    const PlatStringTable* table = static_cast<const PlatStringTable*>(instance);
    if (table == nullptr) return 0;
    for (int i = 0; i < table->count; ++i) {
        if (table->entries[i].id != id) continue;
        size_t n = strlen(table->entries[i].text);
        if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
        memcpy(buffer, table->entries[i].text, n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    return 0;
}
