#include "tests/support/SystemTraits.h"

#include "platform/RegistryApi.h"

namespace zarn::test {

bool RunningUnderWine() {
    // Wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace zarn::test
