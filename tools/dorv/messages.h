// Messages to the user, all on standard error and each line starting with
// "dorv: ". The library writes what would have been a message box to standard
// error as "caption: text" (unattended mode); the program catches those records
// and says them in its own voice.
#pragma once

#include <string>

// From now on the library's records are caught (standard error goes to a file).
void messages_begin();
// Says the records caught so far.
void messages_flush();
// Says the rest and gives standard error back.
void messages_end();
// One message of the program itself ("dorv: " and a line feed are added).
void say(const std::string& text);
// A caught record told that the server closed the connection.
bool connection_lost();

// Rewrites caught records as the program's messages. A record that tells of a
// closed connection becomes "the server closed the connection", said once: it
// sets *closed, and further such records are dropped while *closed is true.
std::string reword_library_messages(const std::string& caught, bool* closed);
