# Cross-compiles the Windows program on Debian with the x86_64-w64-mingw32 toolchain:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VESS_MINGW_PREFIX x86_64-w64-mingw32)
# The posix threads model: std::thread and its mutexes exist as on Linux (the default win32 model
# of Debian's GCC 12 has none); -static links its thread library into the executable.
set(CMAKE_C_COMPILER ${VESS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VESS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
