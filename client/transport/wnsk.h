// WinSock stream transport: starts and stops the stack, opens a TCP connection
// from a host and a service given as text, moves bytes in both directions and
// closes it. It knows nothing of blocks (client/codec frames the bytes) and
// shows nothing: what goes wrong is recorded in the Report it is handed, and
// the call returns -1. Successful steps leave a trace line.
#pragma once

#include "client/codec/block_codec.h"
#include "common/report.h"
#include "platform/platform.h"

#include <chrono>

enum : int { WNSK_BLOCK_SIZE = BLOCK_SIZE, WNSK_ERROR_TEXT_SIZE = 256 };

int wnsk_setup(Report& report);
int wnsk_cleanup();
// A connected socket, or -1; gives up after `timeout_seconds` (0: no limit)
// with error 10060.
int wnsk_connect(const char* host, const char* service, int timeout_seconds, Report& report);
int wnsk_disconnect(int socket, Report& report);
// Small sends leave at once (TCP_NODELAY). A failure is only traced: the
// connection still works, requests may just wait for acknowledgements.
void wnsk_no_delay(int socket);

// How long the receives of one block may wait in all.
struct ReceiveClock {
    int seconds; // 0: no limit
    std::chrono::steady_clock::time_point deadline;
};
ReceiveClock start_receive_clock(int seconds);

enum : int { RECEIVE_FAILED = -1, RECEIVE_TIMED_OUT = -2 };
// Receives at most `length` bytes: their count, 0 when the peer has closed the
// connection, or RECEIVE_FAILED or RECEIVE_TIMED_OUT (recorded).
int wnsk_receive(int socket, char* buffer, int length, const ReceiveClock& clock, Report& report);
// Sends the bytes: how many went out (fewer than `length` when the system took
// no more), or -1 after a failed send (recorded).
int wnsk_send(int socket, const char* bytes, int length, Report& report);

// The text of a WinSock error number; the number of characters stored.
int wnsk_error_text(int number, char* buffer, int size);
// The module whose string table holds the socket error texts (the library's,
// given at attach).
void wnsk_set_error_texts(PlatInstance module);

// The transport as a caller outside the library's calls uses it (the tests):
// whole blocks framed by the codec, and what goes wrong shown at once. They
// are the connection layer's (client/connection/shown_transport.cpp), which
// reads blocks and may show; the transport itself shows nothing.
int wnsk_setup();
int wnsk_connect(const char* host, const char* service);
int wnsk_disconnect(int socket);
// One whole block into `block` (1024 bytes); its length field ends in host order.
int wnsk_read(int socket, char* block);
// The whole block; its length field is in host order before and after the call.
int wnsk_write(int socket, char* block);
