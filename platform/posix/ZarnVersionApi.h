/* The Win32 version-information functions on POSIX: PE files are read from their RT_VERSION resource as
 * Windows stores it; ELF files from a .note.package note whose "version" becomes the FileVersion of a
 * block with the one translation 0409/04B0. Any other file has no version information.
 * Thread-safe: no shared state. */
#ifndef ZARN_VERSION_API_H
#define ZARN_VERSION_API_H

#include "WinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the block GetFileVersionInfoA fills, or 0 (no file, no version information). */
DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
/* Fills lpData (dwLen bytes) with the version block; FALSE when the file has none or dwLen is too small. */
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
/* Finds "\\", "\\VarFileInfo\\Translation" or "\\StringFileInfo\\llllcccc\\Name" inside a block;
 * string values come back as single-byte text with *puLen the length in characters including the zero. */
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
/* The user's language from LC_ALL / LC_MESSAGES / LANG, as a Windows language identifier (0x0409 default). */
LANGID GetUserDefaultLangID(void);

#ifdef __cplusplus
}
#endif

#endif
