/* The program entry a C runtime library would give: the command line from
 * msvcrt.dll, then main, then exit with its result. The Visual C++-style
 * build of the example links this instead of the Visual C++ runtime. */
typedef struct {
    int new_mode;
} startup_info;

int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int wildcards, startup_info* info);
void __cdecl exit(int code);
int main(int argc, char** argv);

void mainCRTStartup(void) {
    int argc = 0;
    char** argv = 0;
    char** env = 0;
    startup_info info = {0};
    __getmainargs(&argc, &argv, &env, 0, &info);
    exit(main(argc, argv));
}
