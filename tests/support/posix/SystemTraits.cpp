#include "tests/support/SystemTraits.h"

namespace zarn::test {

bool RunningUnderWine() {
    return false;
}

} // namespace zarn::test
