// The operating-system seam. Everything the library and the add-in need from the
// system goes through these calls. platform/win32 calls the real Win32 API;
// platform/posix is our own stand-in with the semantics the callers rely on.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------- modules
// A module instance: the HINSTANCE of a DLL or executable on Windows; on POSIX a
// pointer to the module's string table (see PlatStringTable).
typedef void* PlatInstance;

struct PlatStringEntry {
    unsigned id;
    const char* text;
};

// The POSIX stand-in for a module's string resources.
struct PlatStringTable {
    const PlatStringEntry* entries;
    int count;
};

// Loads string resource `id` of `instance` into `buffer` (at most size - 1
// characters and a NUL). Returns the number of characters stored, 0 when the
// string does not exist (the buffer is then an empty text).
int plat_load_string(PlatInstance instance, unsigned id, char* buffer, int size);

// Dynamic loading (LoadLibraryA, GetProcAddress, FreeLibrary).
void* plat_load_library(const char* name);
void* plat_get_proc(void* library, const char* name);
// The entry that `library` exports under `ordinal` (GetProcAddress with
// MAKEINTRESOURCE); null when there is none. Shared objects on POSIX have no
// ordinals: always null there.
void* plat_get_proc_ordinal(void* library, unsigned ordinal);
void plat_free_library(void* library);
// The program the process runs (the executable that started it), for
// plat_get_proc: GetModuleHandleA(NULL); the main program's handle on POSIX.
// Held for the life of the process; never freed.
void* plat_host_program();
// The full path of the module (DLL, shared object or program) whose code or
// data holds `address`. Returns its length, or 0 when it is unknown or does
// not fit into `size` bytes with its NUL.
int plat_module_path(const void* address, char* buffer, int size);

// ---------------------------------------------------------------- process
unsigned long plat_thread_id();

// A lock around state that threads share (the connection table, the password
// cache). A static one is ready as it stands: no set-up, no tearing down.
#ifdef _WIN32
struct PlatLock {
    void* state = nullptr; // an SRWLOCK, whose initial value is all zeros
};
#else
#include <pthread.h>
struct PlatLock {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};
#endif
void plat_lock(PlatLock* lock);
void plat_unlock(PlatLock* lock);
// Holds a lock for as long as it lives.
class PlatLockHold {
  public:
    explicit PlatLockHold(PlatLock& lock) : lock_(lock) { plat_lock(&lock_); }
    ~PlatLockHold() { plat_unlock(&lock_); }
    PlatLockHold(const PlatLockHold&) = delete;
    PlatLockHold& operator=(const PlatLockHold&) = delete;

  private:
    PlatLock& lock_;
};
unsigned long plat_last_error();
// Local time broken down (for the debug log's time texts).
struct PlatLocalTime {
    int year, month, day, hour, minute, second, weekday; // month 1-12, weekday 0 = Sunday
};
void plat_local_time(PlatLocalTime* out);
// The user's folder for temporary files, with its trailing separator: GetTempPathA on
// Windows; TMPDIR, else /tmp, on POSIX. False when it does not fit the buffer.
bool plat_temp_folder(char* buffer, int size);

// ---------------------------------------------------------------- initialisation files
// Win32 semantics: sections and keys case-insensitive, values trimmed, the
// default when absent, output cut to the buffer and always NUL-terminated.
// A file name without a directory is looked up in the Windows directory on
// Win32, and in the folder named by DORV_INI_DIR (else the current directory)
// on POSIX. Returns the number of characters stored.
int plat_ini_string(const char* section, const char* key, const char* deflt, char* buffer, int size,
                    const char* file);
// Integer value of a key (leading decimal digits, optional sign), or deflt when absent.
unsigned plat_ini_int(const char* section, const char* key, int deflt, const char* file);
// The user's profile (WIN.INI on Windows). On POSIX, section "intl" key
// "sDecimal" answers the C locale's decimal point; other keys their default.
int plat_profile_string(const char* section, const char* key, const char* deflt, char* buffer,
                        int size);

// ---------------------------------------------------------------- message boxes and debug output
enum : unsigned {
    PLAT_MB_OK = 0x0,
    PLAT_MB_OKCANCEL = 0x1,
    PLAT_MB_ICONSTOP = 0x10,
    PLAT_MB_ICONEXCLAMATION = 0x30,
    PLAT_MB_ICONINFORMATION = 0x40,
};
enum : int { PLAT_IDOK = 1, PLAT_IDCANCEL = 2 };

// A modal message box without owner window. Returns the button pressed.
int plat_message_box(const char* text, const char* caption, unsigned style);
// Text for a watching developer (OutputDebugStringA; standard error on POSIX).
void plat_debug_output(const char* text);
// Unattended programs: with a route set, every message box is handed to it
// instead of being shown, and plat_message_box returns what the route returns.
typedef int (*PlatMessageRoute)(const char* text, const char* caption, unsigned style);
void plat_set_message_route(PlatMessageRoute route);
// The process environment's value of `name` (GetEnvironmentVariableA; getenv),
// cut to the buffer. Returns false when the variable is not set.
bool plat_environment(const char* name, char* buffer, int size);

#ifndef _WIN32
// POSIX only: tests see every message box through this hook and choose the answer.
// Without a hook the box is written to standard error as "caption: text" and answered OK.
typedef int (*PlatMessageBoxHook)(const char* text, const char* caption, unsigned style,
                                  void* context);
void plat_set_message_box_hook(PlatMessageBoxHook hook, void* context);
#endif

// ---------------------------------------------------------------- sockets (WinSock 1.1 semantics)
// Error numbers are WinSock's on both sides (10061 connection refused, ...).
struct PlatWsaInfo {
    unsigned short version; // low byte major, high byte minor, as WinSock has it
    unsigned short high_version;
    char description[257];
    char system_status[129];
    unsigned short max_sockets;
};

// An IPv4 socket address laid out as the 16-byte sockaddr_in.
struct PlatSockaddrIn {
    unsigned short family; // PLAT_AF_INET
    unsigned short port;   // network byte order
    uint32_t address;      // network byte order
    unsigned char zero[8];
};
enum : unsigned short { PLAT_AF_INET = 2 };
enum : uint32_t { PLAT_INADDR_NONE = 0xFFFFFFFFu };

// 0, or the WinSock error number.
int plat_wsa_startup(unsigned short version, PlatWsaInfo* info);
int plat_wsa_cleanup();
// The last socket error, as a WinSock number.
int plat_wsa_last_error();
// A TCP stream socket, or -1.
int plat_socket_stream();
// 0 or -1 (error in plat_wsa_last_error).
int plat_closesocket(int socket);
int plat_connect(int socket, const PlatSockaddrIn* address);
int plat_getsockname(int socket, PlatSockaddrIn* address);
// Connects, giving up after timeout_ms (0 or less: waits as long as the system
// does). A time-out fails with error 10060 (WSAETIMEDOUT). The socket stays blocking.
int plat_connect_within(int socket, const PlatSockaddrIn* address, int timeout_ms);
// Waits until the socket has data or the peer closed it: 1, 0 after timeout_ms
// (0 or less: does not wait at all), -1 on failure.
int plat_wait_readable(int socket, int timeout_ms);
// Byte counts, 0 when the peer closed, -1 on failure.
int plat_recv(int socket, char* buffer, int length);
int plat_send(int socket, const char* buffer, int length);
// Turns off Nagle's algorithm (TCP_NODELAY): small sends leave at once. 0 or -1.
int plat_tcp_nodelay(int socket);
// Dotted address in network order, or PLAT_INADDR_NONE.
uint32_t plat_inet_addr(const char* text);
// First IPv4 address of a host name (network order). 0 or -1.
int plat_gethostbyname(const char* name, uint32_t* address);
// Port of a service (network order) for the protocol. 0 or -1.
int plat_getservbyname(const char* name, const char* protocol, unsigned short* port);

// ---------------------------------------------------------------- windows and dialogs
// The calling convention of Windows API entry points (CTL3D32, dialog procedures).
#if defined(_WIN32) && !defined(_WIN64)
#define PLAT_WINAPI __stdcall
#else
#define PLAT_WINAPI
#endif

typedef void* PlatWindow;
struct PlatRect {
    int left, top, right, bottom;
};
// Screen rectangles of a window and the size of its client area (left = top = 0).
// On POSIX there are no windows: these report false.
bool plat_window_rect(PlatWindow window, PlatRect* rect);
bool plat_client_rect(PlatWindow window, PlatRect* rect);
// The screen size in pixels (a stand-in of 1024 x 768 on POSIX).
void plat_screen_size(int* width, int* height);
bool plat_move_window(PlatWindow window, int x, int y, int width, int height, bool repaint);
