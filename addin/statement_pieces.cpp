#include "addin/statement_pieces.h"

char* next_piece(char** rest) {
    char* piece = *rest;
    if (*piece == '\0') return nullptr;
    char quote = '\0';
    char* p = piece;
    for (; *p != '\0'; ++p) {
        if (quote != '\0') {
            if (*p == quote) quote = '\0';
        } else if (*p == '\'' || *p == '"') {
            quote = *p;
        } else if (*p == ';') {
            break;
        }
    }
    if (*p == ';') *p++ = '\0';
    *rest = p;
    return piece;
}
