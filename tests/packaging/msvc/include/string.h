/* The few declarations of msvcrt.dll's string functions that the example
 * uses, for a Visual C++-style build where no Visual C++ headers are installed. */
#ifndef DORV_TEST_STRING_H
#define DORV_TEST_STRING_H

typedef __SIZE_TYPE__ size_t;

size_t __cdecl strlen(const char* text);
char* __cdecl strcpy(char* target, const char* source);

#endif
