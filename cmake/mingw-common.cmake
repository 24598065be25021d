# Shared part of the two mingw-w64 toolchain files. The posix thread model gives
# GoogleTest its std::mutex; everything, winpthreads included, is linked
# statically, so the binaries need nothing but Windows system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${QEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QEL_MINGW_TRIPLE}-windres)
set(QEL_WIDL ${QEL_MINGW_TRIPLE}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
