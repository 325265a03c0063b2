/* The few declarations of msvcrt.dll's stdio that the example uses, for a
 * Visual C++-style build of it where no Visual C++ headers are installed. */
#ifndef DORV_TEST_STDIO_H
#define DORV_TEST_STDIO_H

typedef struct _iobuf {
    char* _ptr;
    int _cnt;
    char* _base;
    int _flag;
    int _file;
    int _charbuf;
    int _bufsiz;
    char* _tmpfname;
} FILE;

FILE* __cdecl __iob_func(void);
#define stderr (&__iob_func()[2])

int __cdecl printf(const char* format, ...);
int __cdecl fprintf(FILE* stream, const char* format, ...);

#endif
