# Cross-builds the Windows (x86-64) program with Debian's mingw-w64 compilers.
# The posix thread model is chosen because GCC 12's std::thread and std::mutex
# exist only there; the program still calls the Windows API for everything else.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_AR ${MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Static Windows libraries made by scripts/windows/build-deps.sh.
if(DEFINED ENV{WINDOWS_DEPS_DIR})
    set(WINDOWS_DEPS_DIR "$ENV{WINDOWS_DEPS_DIR}")
else()
    set(WINDOWS_DEPS_DIR /opt/fiscal-proxy-windows-deps)
endif()
set(WINDOWS_DEPS_PREFIX "${WINDOWS_DEPS_DIR}/prefix")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} "${WINDOWS_DEPS_PREFIX}")
set(CMAKE_PREFIX_PATH "${WINDOWS_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and programs built for Windows run here under Wine.
if(EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
