/* dorv32: client library of the Dorv database server.
 *
 * Connect over TCP, run SQL statements, read their results as lines or typed
 * values, pick a row in a list dialog and run host commands. Every call runs on
 * the caller's thread and waits for the server. Texts are caller-owned,
 * NUL-terminated buffers. Usable from C and C++. */
#ifndef DORV32_H
#define DORV32_H

#if defined(_WIN32) && !defined(_WIN64)
#define DORV_CALL __stdcall
#else
#define DORV_CALL
#endif

/* Status of the statement and result calls. */
#define DORV_OK 0
#define DORV_EOF (-9)
#define DORV_NO_STATUS 100

#ifdef __cplusplus
extern "C" {
#endif

/* Connections (transport "WINSOCK"; at most four at a time).
 * Time-outs are off unless set: "ConnectTimeout" and "ReplyTimeout" (seconds)
 * in section "Global" of "windorv.ini", or for hl_connect_ini in the
 * connection file's section or its "Global". A reply that comes too late
 * breaks the connection: every later call on it fails until hl_disconnect.
 * "ReadAhead" (0 to 64, same places; 0 = off, the default) keeps that many
 * row requests of hl_dorv_next_val / hl_dorv_next_row in flight; it needs a
 * server that answers requests in order as they arrive. */
int DORV_CALL hl_connect(char* transport, const char* server, const char* service, int debug);
int DORV_CALL hl_connect_ini(const char* filename, const char* section, int debug, int dbopen);
int DORV_CALL hl_disconnect(int handle);
int DORV_CALL hl_set_inifile(int handle, const char* filename, const char* section);

/* Host commands. */
int DORV_CALL hl_echo(int handle, const char* text);
int DORV_CALL hl_uxcmd(int handle, const char* command);
int DORV_CALL hl_fetch_blk(int handle, char* buffer, int size);
int DORV_CALL hl_fetch_ln(int handle, char* buffer, int size);

/* Statements. */
int DORV_CALL hl_dorv_version(int handle, char* text); /* text: room for 1019 bytes */
int DORV_CALL hl_dorv_exec(int handle, char* text);    /* text is left unchanged */
int DORV_CALL hl_dorv_explain(int handle, char* buffer, int size, int code);

/* Results. */
int DORV_CALL hl_dorv_hdr_ln(int handle, int code, char* buffer, int size);
int DORV_CALL hl_dorv_next_row(int handle, char* buffer, int size);
int DORV_CALL hl_dorv_hdr_val(int handle);
int DORV_CALL hl_dorv_next_val(int handle);
int DORV_CALL hl_dorv_tfield(int handle, char* buffer, int size);
int DORV_CALL hl_dorv_field(int handle, char* buffer, int size);

/* Entry selection dialog. */
int DORV_CALL hl_dorv_select_entry(int hdl, char* keyfield, int keylen, int max_select);

#ifdef __cplusplus
}
#endif

#endif /* DORV32_H */
