// WinSock stream transport: TCP connections carrying length-prefixed blocks of
// 4 to 1024 bytes. Every failure is reported here with error_box and returns -1.
#pragma once

enum : int { WNSK_BLOCK_SIZE = 1024, WNSK_ERROR_TEXT_SIZE = 256 };

// The text of the last WinSock error looked up (library-wide).
extern char wnsk_error_buffer[WNSK_ERROR_TEXT_SIZE];

int wnsk_setup();
int wnsk_cleanup();
int wnsk_connect(const char* host, const char* service);
// The same, giving up after `timeout_seconds` (0: no limit) with error 10060.
int wnsk_connect_within(const char* host, const char* service, int timeout_seconds);
int wnsk_disconnect(int socket);
// Small blocks leave at once (TCP_NODELAY). A failure is only traced: the
// connection still works, requests may just wait for acknowledgements.
void wnsk_no_delay(int socket);
// One whole block into `block` (1024 bytes); its length field ends in host order.
int wnsk_read(int socket, char* block);
// The same, waiting at most `timeout_seconds` (0: no limit) for the block.
// *stream_lost (when given) tells whether the stream can still carry blocks
// after the call: false after success and after a bad block that was read to
// its declared end; true after a time-out, a closed or failed connection, or
// a length that cannot be trusted.
int wnsk_read_within(int socket, char* block, int timeout_seconds, bool* stream_lost);
// The whole block; its length field is in host order before and after the call.
int wnsk_write(int socket, char* block);
// The text of a WinSock error number; the number of characters stored.
int wnsk_error_text(int number, char* buffer, int size);

// The 16-bit length at the start of a block, in host order.
inline unsigned block_length(const char* block) {
    unsigned short v;
    __builtin_memcpy(&v, block, 2);
    return v;
}
inline void set_block_length(char* block, unsigned length) {
    unsigned short v = static_cast<unsigned short>(length);
    __builtin_memcpy(block, &v, 2);
}

#include "platform/platform.h"

// The module whose string table holds the socket error texts (the library's,
// given at attach).
void wnsk_set_error_texts(PlatInstance module);
