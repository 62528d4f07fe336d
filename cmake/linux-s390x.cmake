# Cross-builds the Linux programs for IBM Z (linux-s390x, big-endian):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/linux-s390x.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TAVMOR_CROSS_TRIPLE s390x-linux-gnu)
set(TAVMOR_CROSS_DEBIAN_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
