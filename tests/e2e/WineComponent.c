/* A vendor component for the Wine tests, built with the cross compiler while the test runs. As a library
 * (ZC_LIBRARY) its DllRegisterServer registers the class ZC_CLSID with this file as its server, and with ZC_ALSO_CLSID
 * also the class whose server is ZC_ALSO_FILE in the application directory (the folder above its own), then returns
 * ZC_RESULT; without ZC_CLSID it exports no DllRegisterServer at all. With ZC_MACHINE_KEY it also writes its path
 * as the value "Server" of that key of HKEY_LOCAL_MACHINE. As a program it registers itself the same way and exits
 * with ZC_RESULT, as an installer does. */
#define WIN32_LEAN_AND_MEAN
#include <string.h>
#include <windows.h>

static LONG SetDefaultValue(const char* subKey, const char* value) {
    HKEY key = NULL;
    LONG result =
        RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL, &key, NULL);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    result = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
    const LONG closed = RegCloseKey(key);
    return result != ERROR_SUCCESS ? result : closed;
}

static LONG RegisterOneClass(const char* classId, const char* serverPath) {
    char subKey[200];
    wsprintfA(subKey, "CLSID\\{%s}\\InprocServer32", classId);
    LONG result = SetDefaultValue(subKey, serverPath);
    if (result == ERROR_SUCCESS) {
        wsprintfA(subKey, "CLSID\\{%s}\\ProgID", classId);
        result = SetDefaultValue(subKey, "Quillorna.WineTest.1");
    }
    return result;
}

#ifdef ZC_CLSID
static LONG RegisterAll(HMODULE self) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return ERROR_BAD_PATHNAME;
    }
    LONG result = RegisterOneClass(ZC_CLSID, path);
#ifdef ZC_ALSO_CLSID
    /* Cut the path after the application directory's separator: the folder above this file's own. */
    char* cut = strrchr(path, '\\');
    if (cut != NULL) {
        *cut = '\0';
        cut = strrchr(path, '\\');
    }
    if (result == ERROR_SUCCESS && cut != NULL && (size_t)(cut + 1 - path) + strlen(ZC_ALSO_FILE) < MAX_PATH) {
        strcpy(cut + 1, ZC_ALSO_FILE);
        result = RegisterOneClass(ZC_ALSO_CLSID, path);
    }
#endif
#ifdef ZC_MACHINE_KEY
    HKEY machine = NULL;
    if (result == ERROR_SUCCESS) {
        result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZC_MACHINE_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL,
                                 &machine, NULL);
    }
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(machine, "Server", 0, REG_SZ, (const BYTE*)path, (DWORD)strlen(path) + 1);
        RegCloseKey(machine);
    }
#endif
    return result;
}
#endif

#ifdef ZC_LIBRARY
static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
    }
    return TRUE;
}

#ifdef ZC_CLSID
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    return RegisterAll(g_self) == ERROR_SUCCESS ? (HRESULT)ZC_RESULT : E_UNEXPECTED;
}
#endif
#else
int main(void) {
    return RegisterAll(NULL) == ERROR_SUCCESS ? ZC_RESULT : 99;
}
#endif
