# The Windows program, cross-compiled (toolchain: cmake/mingw-w64-x86_64.cmake). The client
# library is loaded at run time (src/db/ClientLibraryWindows.cpp), so only the declarations of
# ibase.h are needed; the INI files go through the system's profile functions.

# Debian's ibase.h is the one for every platform: its Windows branches give the Windows types.
# It is copied apart so that no other header of the build machine gets into the Windows build.
find_file(FIREBIRD_IBASE_H ibase.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(FIREBIRD_INCLUDE_DIR ${CMAKE_BINARY_DIR}/firebird-include)
configure_file(${FIREBIRD_IBASE_H} ${FIREBIRD_INCLUDE_DIR}/ibase.h COPYONLY)

# Texts are 8-bit in the machine's ANSI code page (Windows-1252 on the machines this program is
# meant for): the literals of the sources, written in UTF-8, are compiled into that code page.
add_compile_options(-finput-charset=UTF-8 -fexec-charset=CP1252)
# GCC 12 of the cross toolchain inlines std::string insertions deeper than the native build and then
# reports overlaps that cannot happen (-Wrestrict, GCC bug 105329); every other warning stays an
# error.
add_compile_options(-Wno-restrict)
# One executable with nothing to install beside it but the client library.
add_link_options(-static)

# The unit tests run on Linux; the Windows program is tested under Wine (tests/windows).
set(VESSENTARIA_TESTS OFF CACHE BOOL "Build the tests" FORCE)
add_subdirectory(${CMAKE_SOURCE_DIR}/tests/windows ${CMAKE_BINARY_DIR}/tests-windows)
