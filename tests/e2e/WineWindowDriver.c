/* Drives the launcher's window as its user would, from another process under Wine: built with the cross compiler
 * while the test runs. Usage: driver LAUNCHER SERVER. It starts LAUNCHER --server SERVER without other switches,
 * answers the missing list's message box, waits out the update check (noting the download dialog), picks "Start
 * Designing" on the check's start dialog, waits for the design control shown in the view and answers the
 * start-up's own start dialog the same way. It prints one line per thing it saw, for the test to read, and closes
 * the frame. Every wait has a time-out: on one it says what it waited for, ends the launcher and exits with 1. */
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* Short enough that the driver says what it waited for before the test ends it after 60 s. */
#define WAIT_MS 15000
#define CHECK_WAIT_MS 30000
#define POLL_MS 5
#define DESIGN_HOST_ID 4321

static PROCESS_INFORMATION g_launcher;

static int Fail(const char* waitedFor) {
    printf("timed out waiting for %s\n", waitedFor);
    fflush(stdout);
    TerminateProcess(g_launcher.hProcess, 99);
    return 1;
}

/* A message's lines joined by " | ", without their trailing blanks, so that each thing seen is one line. */
static const char* OneLine(char* text) {
    char joined[512];
    size_t length = 0;
    for (const char* at = text; *at != '\0' && length + 4 < sizeof joined; ++at) {
        if (*at == '\r') {
            continue;
        }
        if (*at == '\n') {
            while (length > 0 && joined[length - 1] == ' ') {
                --length;
            }
            memcpy(joined + length, " | ", 3);
            length += 3;
        } else {
            joined[length++] = *at;
        }
    }
    while (length > 0 && joined[length - 1] == ' ') {
        --length;
    }
    joined[length] = '\0';
    strcpy(text, joined);
    return text;
}

struct Search {
    const char* className;
    const char* caption;
    HWND found;
};

static BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
    struct Search* search = (struct Search*)data;
    DWORD process = 0;
    char name[64] = "";
    char text[256] = "";
    GetWindowThreadProcessId(window, &process);
    if (process != g_launcher.dwProcessId || !IsWindowVisible(window)) {
        return TRUE;
    }
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, text, sizeof text);
    if (strcmp(name, search->className) == 0 && strcmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* The launcher's visible top-level window of that class and caption, or null. */
static HWND Find(const char* className, const char* caption) {
    struct Search search = {className, caption, NULL};
    EnumWindows(MatchTopLevel, (LPARAM)&search);
    return search.found;
}

static HWND WaitFor(const char* className, const char* caption) {
    for (const ULONGLONG since = GetTickCount64(); GetTickCount64() - since < WAIT_MS;) {
        const HWND found = Find(className, caption);
        if (found != NULL) {
            return found;
        }
        Sleep(POLL_MS);
    }
    return NULL;
}

static int WaitGone(HWND window) {
    for (const ULONGLONG since = GetTickCount64(); GetTickCount64() - since < WAIT_MS;) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

static BOOL CALLBACK MatchDesignHost(HWND window, LPARAM data) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "AtlAxWin") == 0 && GetDlgCtrlID(window) == DESIGN_HOST_ID) {
        *(HWND*)data = window;
        return FALSE;
    }
    return TRUE;
}

/* The design control's host in the frame's view when it and the control's own window in it are visible, else null. */
static HWND ShownDesignHost(HWND* frame) {
    HWND host = NULL;
    *frame = Find("QuillornaMainFrame", "Quillorna by www.ostrevant.com [www.quillorna.com]");
    if (*frame != NULL) {
        EnumChildWindows(*frame, MatchDesignHost, (LPARAM)&host);
    }
    if (host == NULL || !IsWindowVisible(host) || GetWindow(host, GW_CHILD) == NULL ||
        !IsWindowVisible(GetWindow(host, GW_CHILD))) {
        return NULL;
    }
    return host;
}

/* Prints the start dialog's default button and clicks it; false when the dialog stays. */
static int AnswerStart(HWND start) {
    char text[128] = "";
    GetDlgItemTextA(start, IDOK, text, sizeof text);
    printf("start dialog, button: %s\n", text);
    PostMessageA(GetDlgItem(start, IDOK), BM_CLICK, 0, 0);
    return WaitGone(start);
}

int main(int argc, char** argv) {
    /* Lines end in "\n" alone, as the test on Linux reads them. */
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc != 3) {
        printf("usage: %s LAUNCHER SERVER\n", argv[0]);
        return 2;
    }
    char line[1024];
    snprintf(line, sizeof line, "\"%s\" --server %s", argv[1], argv[2]);
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%s", argv[1]);
    char* slash = strrchr(folder, '\\');
    if (slash != NULL) {
        *slash = '\0';
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, folder, &startup, &g_launcher)) {
        printf("cannot start %s: error %lu\n", line, GetLastError());
        return 2;
    }

    const HWND box = WaitFor("#32770", "zarn");
    if (box == NULL) {
        return Fail("the missing list's message box");
    }
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    printf("message box: %s\n", OneLine(text));
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    if (!WaitGone(box)) {
        return Fail("the message box to go");
    }

    /* The check: each download runs in the download dialog; a message box here is a failed step. */
    int downloadsSeen = 0;
    HWND lastDownload = NULL;
    HWND start = NULL;
    for (const ULONGLONG since = GetTickCount64(); start == NULL;) {
        if (GetTickCount64() - since >= CHECK_WAIT_MS) {
            return Fail("the check's start dialog");
        }
        const HWND download = Find("#32770", "File Download");
        if (download != NULL && download != lastDownload) {
            ++downloadsSeen;
        }
        lastDownload = download;
        const HWND message = Find("#32770", "zarn");
        if (message != NULL) {
            GetDlgItemTextA(message, 0xFFFF, text, sizeof text);
            printf("message box during the check: %s\n", OneLine(text));
            return Fail("the check's start dialog");
        }
        start = Find("#32770", "Start Quillorna");
        Sleep(POLL_MS);
    }
    printf("download dialogs seen: %s\n", downloadsSeen > 0 ? "yes" : "none");

    /* "Start Designing" on the check's start dialog shows the control; the start-up's own offer follows. */
    if (!AnswerStart(start)) {
        return Fail("the check's start dialog to go");
    }
    HWND frame = NULL;
    HWND host = NULL;
    for (const ULONGLONG since = GetTickCount64(); (host = ShownDesignHost(&frame)) == NULL;) {
        if (GetTickCount64() - since >= WAIT_MS) {
            return Fail("the design control in the view");
        }
        Sleep(POLL_MS);
    }
    RECT area;
    GetClientRect(host, &area);
    GetWindowTextA(host, text, sizeof text);
    char inner[64] = "";
    GetClassNameA(GetWindow(host, GW_CHILD), inner, sizeof inner);
    printf("design host: \"%s\", %s, control window %s\n", text, area.right > 0 && area.bottom > 0 ? "sized" : "empty",
           inner);
    start = WaitFor("#32770", "Start Quillorna");
    if (start == NULL) {
        return Fail("the start-up's start dialog");
    }
    if (!AnswerStart(start)) {
        return Fail("the start-up's start dialog to go");
    }
    printf("design control %s\n", ShownDesignHost(&frame) == host ? "still shown" : "gone");

    PostMessageA(frame, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(g_launcher.hProcess, WAIT_MS) != WAIT_OBJECT_0) {
        return Fail("the launcher to end");
    }
    DWORD code = 0;
    GetExitCodeProcess(g_launcher.hProcess, &code);
    printf("exit code: %lu\n", code);
    return 0;
}
