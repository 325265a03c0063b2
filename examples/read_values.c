/* read_values: connects with a section of a connection file, opens its
 * database, runs one query and prints the result value by value.
 *
 *   read_values CONNECTION_FILE SECTION ["STATEMENT"]
 *
 * The default statement reads the customers of the sample database that
 * dorvd creates. On Windows give the connection file with its folder
 * (C:\Users\me\dorv.ini): a bare file name means the Windows folder.
 * Returns 0 on success, 1 when the connection or the query failed, 2 on a
 * wrong command line.
 *
 * Build with MinGW:        gcc read_values.c -o read_values.exe libdorv32.dll.a
 * Build with Visual C++:   cl read_values.c dorv32.lib
 * Build on Linux:          cc read_values.c $(pkg-config --cflags --libs dorv32) */
#include <stdio.h>
#include <string.h>

#include "dorv32.h"

/* Enough for any field: the library hands out at most 1022 characters. */
#define FIELD_SIZE 1024

/* Prints the server's explanation of the connection's last status. */
static void explain(int handle, const char* what, int status) {
    char text[FIELD_SIZE];
    fprintf(stderr, "read_values: %s failed with status %d\n", what, status);
    /* 100: the library got no status at all and has reported why itself. */
    if (status == DORV_NO_STATUS) return;
    text[0] = '\0';
    if (hl_dorv_explain(handle, text, (int)sizeof text, 0) == DORV_OK && text[0] != '\0')
        fprintf(stderr, "read_values: the server explains: %s\n", text);
}

/* Prints the fields of the value record just requested, tab-separated.
 * Returns 0, or the status that stopped it. */
static int print_record(int handle) {
    char field[FIELD_SIZE];
    int count = 0;
    int status;
    while ((status = hl_dorv_field(handle, field, (int)sizeof field)) == DORV_OK) {
        printf("%s%s", count > 0 ? "\t" : "", field);
        ++count;
    }
    printf("\n");
    return status == DORV_EOF ? DORV_OK : status;
}

int main(int argc, char** argv) {
    /* hl_dorv_exec writes into the statement: it gets its own buffer. */
    char statement[1019] = "select id, name, city, customer_since from customers order by id";
    int handle;
    int status;
    int rows = 0;

    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: read_values CONNECTION_FILE SECTION [\"STATEMENT\"]\n");
        return 2;
    }
    if (argc == 4) {
        if (strlen(argv[3]) >= sizeof statement) {
            fprintf(stderr, "read_values: the statement is longer than %u characters\n",
                    (unsigned)(sizeof statement - 1));
            return 2;
        }
        strcpy(statement, argv[3]);
    }

    /* dbopen 1: open the databases the section names (its "Database" key). */
    handle = hl_connect_ini(argv[1], argv[2], 0, 1);
    if (handle == -1) {
        fprintf(stderr, "read_values: cannot connect with section %s of %s\n", argv[2], argv[1]);
        return 1;
    }

    status = hl_dorv_exec(handle, statement);
    if (status != DORV_OK) {
        explain(handle, "the statement", status);
        hl_disconnect(handle);
        return 1;
    }

    /* The column names, then one line per row until the server says -9. */
    status = hl_dorv_hdr_val(handle);
    if (status == DORV_OK) status = print_record(handle);
    while (status == DORV_OK) {
        status = hl_dorv_next_val(handle);
        if (status == DORV_OK) {
            status = print_record(handle);
            ++rows;
        }
    }
    if (status != DORV_EOF) {
        explain(handle, "reading the result", status);
        hl_disconnect(handle);
        return 1;
    }
    printf("(%d rows)\n", rows);
    hl_disconnect(handle);
    return 0;
}
