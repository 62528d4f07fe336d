# What the Linux cross builds share; included by linux-aarch64.cmake and linux-s390x.cmake, which
# name the machine first. The compilers are Debian's cross compilers (g++-TRIPLE), which bring the
# machine's C library, static one included; Regina is Debian's libregina3-dev of that machine,
# unpacked by scripts/install-deps into TAVMOR_CROSS_REGINA_DIR/DEBIAN_ARCH. Programs built here
# run under qemu-user (Debian's qemu-user-static), which the tests use as their emulator.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TAVMOR_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TAVMOR_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TAVMOR_CROSS_TRIPLE})

if(NOT TAVMOR_CROSS_REGINA_DIR)
  set(TAVMOR_CROSS_REGINA_DIR /var/cache/tavmor/regina)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVMOR_CROSS_REGINA_DIR)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVMOR_CROSS_TRIPLE}
                         ${TAVMOR_CROSS_REGINA_DIR}/${TAVMOR_CROSS_DEBIAN_ARCH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR}-static -L /usr/${TAVMOR_CROSS_TRIPLE})
