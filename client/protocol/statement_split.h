// Cutting a statement list at semicolons outside quotes.
#pragma once

// The length of the first statement of `text`: it ends at a ';' outside single
// or double quotes, or at the end of the text. Inside quotes only the same
// quote character closes; there is no escape.
int statement_length(const char* text);
