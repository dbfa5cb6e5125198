/* Sets the access list of a key of HKEY_LOCAL_MACHINE for the Wine tests, as an administrator's keys are set against
 * a standard user, and prints the list it had in the same language, so that the test can put it back:
 *   key-lock.exe KEY SDDL
 * KEY is made when missing. SDDL is an access list in the security descriptor definition language: "D:(A;;KR;;;WD)"
 * lets everyone read the key and nobody change it. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        printf("usage: key-lock KEY SDDL\n");
        return 2;
    }
    HKEY key = NULL;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, NULL, REG_OPTION_NON_VOLATILE,
                                  READ_CONTROL | WRITE_DAC, NULL, &key, NULL);
    if (result != ERROR_SUCCESS) {
        printf("cannot open the key, error %ld\n", result);
        return 1;
    }
    BYTE old[8192];
    DWORD size = sizeof old;
    wchar_t* oldText = NULL;
    result = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, old, &size);
    if (result != ERROR_SUCCESS || !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                       old, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &oldText, NULL)) {
        printf("cannot read the key's access list, error %ld %lu\n", result, GetLastError());
        return 1;
    }
    PSECURITY_DESCRIPTOR wanted = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[2], SDDL_REVISION_1, &wanted, NULL)) {
        printf("not an access list: error %lu\n", GetLastError());
        return 1;
    }
    result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, wanted);
    if (result != ERROR_SUCCESS) {
        printf("cannot set the key's access list, error %ld\n", result);
        return 1;
    }
    printf("%ls\n", oldText);
    LocalFree(wanted);
    LocalFree(oldText);
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 1;
}
