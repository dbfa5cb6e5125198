// A component library for the installation tests: its one export, named ZARN_ENTRY_NAME, returns the HRESULT
// ZARN_ENTRY_RESULT, both chosen when it is built.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t ZARN_ENTRY_NAME() {
    return static_cast<std::int32_t>(ZARN_ENTRY_RESULT);
}
