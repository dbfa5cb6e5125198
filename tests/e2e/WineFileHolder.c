/* Another program using a component's file, for the Wine tests: it opens FILE with no sharing at all, so that nobody
 * else may open, rename or delete it while held, makes the file READY, waits until the file STOP exists, then prints
 * what it reads through its handle and exits.
 *   file-holder.exe FILE READY STOP */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        printf("usage: file-holder FILE READY STOP\n");
        return 2;
    }
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        printf("cannot open the file, error %lu\n", GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE || !CloseHandle(ready)) {
        printf("cannot make the ready file, error %lu\n", GetLastError());
        return 1;
    }
    /* Bounded below the test's own 60 s limit on a program, so that a test that never says stop leaves none behind. */
    for (int waited = 0; GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        if (waited >= 50000) {
            printf("never told to stop\n");
            return 1;
        }
        Sleep(50);
    }
    char text[256];
    DWORD got = 0;
    if (!ReadFile(held, text, sizeof text - 1, &got, NULL)) {
        printf("cannot read the held file, error %lu\n", GetLastError());
        return 1;
    }
    text[got] = '\0';
    printf("read: %s", text);
    return CloseHandle(held) ? 0 : 1;
}
