// What a test needs to know of the system it runs on, where the system's own behaviour differs.
#pragma once

namespace zarn::test {

// True when the test runs on Wine rather than on Windows itself (false on POSIX).
bool RunningUnderWine();

} // namespace zarn::test
