// Opt-in time-outs of a connection: "ConnectTimeout" and "ReplyTimeout", in
// seconds; absent or 0 means none (every socket operation waits as long as
// the system lets it).
#pragma once

struct ConnectionTimeouts {
    int connect_seconds;
    int reply_seconds;
};

// The largest time-out taken; longer ones are cut to it.
enum : int { MAX_TIMEOUT_SECONDS = 2000000 };

// From section "Global" of "windorv.ini" (for hl_connect).
ConnectionTimeouts global_timeouts();
// For a configured connection: the connection file's section first, then its
// "Global", then "windorv.ini" as for hl_connect.
ConnectionTimeouts configured_timeouts(const char* file, const char* section);
// Seconds from a setting's text: leading decimal digits; anything else is 0.
int timeout_seconds(const char* text);

// The text of a connection setting: the connection file's section first, then
// its "Global", then "Global" of "windorv.ini" (file nullptr: that one only).
// False when no place gives it a value.
bool connection_setting(const char* file, const char* section, const char* key, char* text,
                        int size);
