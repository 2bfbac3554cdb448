# Cross build of the 64-bit Windows program with mingw-w64 from Debian.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORRELIN_MINGW_TRIPLE x86_64-w64-mingw32)
# The POSIX thread model: with GCC 12 the win32 model has no std::mutex, which
# the test framework needs. Linked statically, the executables stay self-contained.
set(CMAKE_C_COMPILER ${ORRELIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORRELIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORRELIN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORRELIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# x86-64 computes in SSE2 already; no fused multiply-adds, as on Linux.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off")
# Self-contained executables: nothing to install beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
