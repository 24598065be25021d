# Shared part of the two mingw-w64 toolchain files. Everything is linked
# statically, so the binaries need nothing but Windows system DLLs, and the
# oldest systems they must load on are Windows XP SP3 (x86) and XP x64 /
# Server 2003 (x64).
#
# Thread model: win32, for every target. The posix model links winpthreads
# into each C++ program, and winpthreads imports GetTickCount64, which XP and
# Server 2003 lack; the shipped binaries could not load there. The win32 model
# uses the system's own primitives and has no such import. What it costs: GCC
# 12 offers neither std::thread nor std::mutex in that model, so our code uses
# Win32 threads and critical sections, and GoogleTest (whose Windows port is
# thread-safe on its own Mutex, but whose Notification needs std::mutex) gets
# its Notification through its customization header instead
# (tests/support/gtest-win32, see cmake/QelBuild.cmake). Building the tests with
# the same runtime as the shipped binaries also means they test what ships.
set(CMAKE_SYSTEM_NAME Windows)
set(QEL_CXX_COMPILER   ${QEL_MINGW_TRIPLE}-g++-win32)  # cmake/QelBuild.cmake checks the tree uses it
set(CMAKE_C_COMPILER   ${QEL_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QEL_CXX_COMPILER})
set(CMAKE_RC_COMPILER  ${QEL_MINGW_TRIPLE}-windres)
set(QEL_WIDL ${QEL_MINGW_TRIPLE}-widl)
# Reads a binary's import table on the build machine (tests/xp-imports.txt).
set(QEL_OBJDUMP ${QEL_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
