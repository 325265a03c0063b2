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
// The descriptor of the program's messages (standard error as it was).
int said_fd();
// The program's messages go to a terminal.
bool said_on_terminal();
// Its output (standard output) goes to a terminal.
bool output_on_terminal();
// A line that shows how far a long task has come, written over the one before
// and without a line feed; the next message, or progress_clear, takes it away.
void progress_show(const std::string& text);
void progress_clear();
// A caught record told that the connection is gone: the server closed it, or
// it broke (a reply that did not come within ReplyTimeout, a failed send or receive).
bool connection_lost();

// Rewrites caught records as the program's messages. A record that tells of a
// closed connection becomes "the server closed the connection", said once: it
// sets *closed, and further such records are dropped while *closed is true. A
// record that tells of a broken connection (time-out, failed send or receive,
// "Connection broken") sets *broken, when given, and is said as it is.
std::string reword_library_messages(const std::string& caught, bool* closed,
                                    bool* broken = nullptr);
