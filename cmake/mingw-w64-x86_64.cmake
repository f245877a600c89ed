# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QIR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QIR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QIR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QIR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QIR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only packages of the build machine (nlohmann_json) serve the target as well.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
