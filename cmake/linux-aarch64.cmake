# Cross-builds the Linux programs for 64-bit ARM (linux-aarch64):
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TAVMOR_CROSS_TRIPLE aarch64-linux-gnu)
set(TAVMOR_CROSS_DEBIAN_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
