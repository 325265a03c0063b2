// What carries a connection's bytes when it is not its socket: the fuzzer and
// tests put a stream of their own in its place, so that the codec and the
// message layer run on bytes from memory.
#pragma once

struct ByteLink {
    void* context;
    // Bytes received into `buffer` (at most `length`); 0 when the stream has ended.
    int (*receive)(void* context, char* buffer, int length);
    // Bytes taken of `bytes` (at most `length`); 0 when no more are taken.
    int (*send)(void* context, const char* bytes, int length);
};
