// What clients may not reach through SQL: functions that read or write the
// server's memory or files, and pragmas beyond reading the schema and a few
// per-connection switches.
#pragma once

#include <string>

namespace dorvd {

// True for a function clients must not call (fts3_tokenizer, load_extension, ...).
bool function_refused(const char* name);

// True when clients may run the pragma; argument is null for its query form.
bool pragma_allowed(const char* name, const char* argument);

// The switches clients may set, for the refusal's explanation.
std::string settable_pragmas();

} // namespace dorvd
