#include "addin/statement_pieces.h"

#include "common/statement_split.h"

char* next_piece(char** rest) {
    char* piece = *rest;
    if (*piece == '\0') return nullptr;
    char* p = piece + statement_length(piece);
    if (*p == ';') *p++ = '\0';
    *rest = p;
    return piece;
}
