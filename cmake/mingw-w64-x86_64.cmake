# Cross-builds the 64-bit Windows programs with MinGW-w64 from Linux:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVMOR_MINGW_PREFIX x86_64-w64-mingw32)
# The -posix compilers: their libstdc++ has std::thread (on winpthreads); the -win32 ones do not.
set(CMAKE_C_COMPILER ${TAVMOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVMOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVMOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVMOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
