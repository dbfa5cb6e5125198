/* The Win32 base types and error codes that the registry and version-information functions use.
 * Plain C, so that a component written in C can include it as well. */
#ifndef ZARN_WINTYPES_H
#define ZARN_WINTYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef WORD LANGID;
typedef DWORD REGSAM;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef UINT* PUINT;
typedef void* LPVOID;
typedef const void* LPCVOID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_BAD_NETPATH 53L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_BADDB 1009L
#define ERROR_REGISTRY_IO_FAILED 1016L

#ifdef __cplusplus
}
#endif

#endif
