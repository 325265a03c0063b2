#include "server/backends/sqlite/sql_policy.h"

#include <strings.h>

namespace dorvd {
namespace {

// Their arguments are pointers or file names: memory and files of the server.
constexpr const char* kRefusedFunctions[] = {
    "fts3_tokenizer", "load_extension", "readfile", "writefile", "edit",
};

// Read the schema or check the data; an argument names a table or index.
constexpr const char* kInspecting[] = {
    "table_info",  "table_xinfo",      "table_list",        "index_list",      "index_info",
    "index_xinfo", "foreign_key_list", "foreign_key_check", "integrity_check", "quick_check",
};

// Answer a setting or a count; allowed only without an argument.
constexpr const char* kQueryOnly[] = {
    "database_list", "collation_list",     "function_list",      "module_list",
    "pragma_list",   "compile_options",    "data_version",       "encoding",
    "page_size",     "page_count",         "freelist_count",     "max_page_count",
    "user_version",  "application_id",     "schema_version",     "journal_mode",
    "foreign_keys",  "defer_foreign_keys", "recursive_triggers",
};

// Per-connection switches that reach no file and no memory.
constexpr const char* kSettable[] = {
    "foreign_keys",        "defer_foreign_keys",        "recursive_triggers",
    "case_sensitive_like", "reverse_unordered_selects",
};

template <size_t N> bool listed(const char* const (&list)[N], const char* name) {
    for (const char* entry : list) {
        if (strcasecmp(entry, name) == 0) return true;
    }
    return false;
}

} // namespace

bool function_refused(const char* name) {
    return name != nullptr && listed(kRefusedFunctions, name);
}

bool pragma_allowed(const char* name, const char* argument) {
    if (name == nullptr) return false;
    if (listed(kInspecting, name)) return true;
    if (argument == nullptr) return listed(kQueryOnly, name);
    return listed(kSettable, name);
}

std::string settable_pragmas() {
    std::string text;
    for (const char* entry : kSettable)
        text += (text.empty() ? "" : ", ") + std::string(entry);
    return text;
}

} // namespace dorvd
