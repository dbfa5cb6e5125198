# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread), linking
# libgcc and libstdc++ statically so that the executables need no mingw DLLs beside them. Programs built here run
# under Wine, which is also how the tests' executables are run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZARN_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZARN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test discovery and CTest run the executables through Wine, headless and quiet, in a Wine prefix of the build
# tree's own (made on first use), so that tests never touch the user's ~/.wine.
find_program(ZARN_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZARN_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
        WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${ZARN_WINE64})
endif()
