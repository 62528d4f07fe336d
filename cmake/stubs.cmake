# The launcher stubs of the other targets, which a build ships beside its own. The build tree
# holds them as an install does, in lib/tavmor/TARGET/, where tavmor looks for them.
#   Linux: the Windows stub, cross-built with MinGW-w64 as an external project in
#     BUILD/windows-stub. TAVMOR_WINDOWS_STUB: AUTO builds it where MinGW-w64 is installed, ON
#     requires MinGW-w64, OFF leaves it out (test builds that do not ship it).
#     The stubs for Linux on aarch64 and s390x, alike, in BUILD/linux-aarch64-stub and
#     BUILD/linux-s390x-stub: TAVMOR_AARCH64_STUB and TAVMOR_S390X_STUB, AUTO building each where
#     Debian's cross compiler and that machine's Regina (scripts/install-deps fetches it into
#     TAVMOR_CROSS_REGINA_DIR) are there. TAVMOR_CROSS_STUB_TESTS lists the machines (s390x,
#     aarch64) whose stub's build makes the unit tests too, to run under qemu-user there (ctest in
#     BUILD/linux-s390x-stub/build).
#   Windows (the MinGW-w64 cross build): a Linux build's launcher, named by TAVMOR_LINUX_STUB
#     (optional): the cross build cannot make it, so it takes one made by a Linux build.

set(TAVMOR_STUB_DIR lib/tavmor)
set(TAVMOR_BUILD_STUB_DIR ${PROJECT_BINARY_DIR}/${TAVMOR_STUB_DIR})

if(WIN32)
  set(TAVMOR_LINUX_STUB "" CACHE FILEPATH
      "A Linux build's tavmor-launcher, to ship as the linux-x86_64 stub (optional)")
  if(TAVMOR_LINUX_STUB)
    set(linux_stub ${TAVMOR_BUILD_STUB_DIR}/linux-x86_64/tavmor-launcher)
    add_custom_command(OUTPUT ${linux_stub}
      COMMAND ${CMAKE_COMMAND} -E copy ${TAVMOR_LINUX_STUB} ${linux_stub}
      DEPENDS ${TAVMOR_LINUX_STUB}
      COMMENT "Copying the Linux launcher stub")
    add_custom_target(tavmor_linux_stub ALL DEPENDS ${linux_stub})
    install(PROGRAMS ${linux_stub} DESTINATION ${TAVMOR_STUB_DIR}/linux-x86_64)
  endif()
  return()
endif()
# A cross build for another Linux machine makes that machine's stub, for a build of this one.
if(CMAKE_CROSSCOMPILING)
  return()
endif()

set(TAVMOR_WINDOWS_STUB AUTO CACHE STRING
    "Cross-build the Windows launcher stub with MinGW-w64: AUTO (where installed), ON or OFF")
set_property(CACHE TAVMOR_WINDOWS_STUB PROPERTY STRINGS AUTO ON OFF)
if(TAVMOR_WINDOWS_STUB STREQUAL "AUTO")
  find_program(TAVMOR_MINGW_CXX x86_64-w64-mingw32-g++-posix)
  if(TAVMOR_MINGW_CXX)
    set(build_windows_stub ON)
  else()
    set(build_windows_stub OFF)
    message(STATUS "MinGW-w64 not found: the Windows launcher stub is not built "
                   "(install g++-mingw-w64-x86-64)")
  endif()
elseif(TAVMOR_WINDOWS_STUB)
  find_program(TAVMOR_MINGW_CXX x86_64-w64-mingw32-g++-posix REQUIRED)
  set(build_windows_stub ON)
else()
  set(build_windows_stub OFF)
endif()

if(build_windows_stub)
  include(ExternalProject)
  set(windows_stub ${TAVMOR_BUILD_STUB_DIR}/windows-x86_64/tavmor-launcher.exe)
  # Always a Release build: it is what launcher files carry, whatever this build is for. The
  # external build checks its own sources on every build.
  ExternalProject_Add(tavmor_windows_stub
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    PREFIX ${PROJECT_BINARY_DIR}/windows-stub
    BINARY_DIR ${PROJECT_BINARY_DIR}/windows-stub/build
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
               -DCMAKE_BUILD_TYPE=Release -DTAVMOR_BUILD_TESTS=OFF -DTAVMOR_BUILD_BENCHMARKS=OFF
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different
                    <BINARY_DIR>/bin/tavmor-launcher.exe ${windows_stub}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${windows_stub})
  install(FILES ${windows_stub} DESTINATION ${TAVMOR_STUB_DIR}/windows-x86_64)
endif()

# The Linux stubs of other machines, built through this same CMakeLists with the machine's
# toolchain file (cmake/linux-PROCESSOR.cmake), so that they are linked as this machine's is.
set(TAVMOR_CROSS_REGINA_DIR /var/cache/tavmor/regina CACHE PATH
    "Where scripts/install-deps unpacked each machine's Regina (ARCH/usr/lib/TRIPLE/libregina.a)")
set(TAVMOR_CROSS_STUB_TESTS "" CACHE STRING
    "The machines (aarch64;s390x) whose stub's build makes the unit tests too, for qemu-user")
function(tavmor_linux_cross_stub processor triple debian_arch)
  string(TOUPPER ${processor} upper)
  set(option TAVMOR_${upper}_STUB)
  set(target linux-${processor})
  set(${option} AUTO CACHE STRING
      "Cross-build the ${target} launcher stub: AUTO (where its compiler and Regina are), ON or OFF")
  set_property(CACHE ${option} PROPERTY STRINGS AUTO ON OFF)
  if(NOT ${option})
    return()
  endif()
  find_program(TAVMOR_${upper}_CXX ${triple}-g++)
  set(regina ${TAVMOR_CROSS_REGINA_DIR}/${debian_arch}/usr/lib/${triple}/libregina.a)
  set(missing)
  if(NOT TAVMOR_${upper}_CXX)
    list(APPEND missing "${triple}-g++ (install g++-${triple})")
  endif()
  if(NOT EXISTS ${regina})
    list(APPEND missing "${regina} (scripts/install-deps fetches it)")
  endif()
  if(missing)
    list(JOIN missing " and " missing)
    if(${option} STREQUAL "AUTO")
      message(STATUS "The ${target} launcher stub is not built: no ${missing}")
      return()
    endif()
    message(FATAL_ERROR "${option} is ${${option}}, but there is no ${missing}")
  endif()
  set(stub ${TAVMOR_BUILD_STUB_DIR}/${target}/tavmor-launcher)
  set(targets tavmor-launcher)
  set(tests OFF)
  if(processor IN_LIST TAVMOR_CROSS_STUB_TESTS)
    set(tests ON)
    list(APPEND targets tavmor_unit_tests)
  endif()
  # Only what is needed, in this build's make jobs where it is make.
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    set(build_command $(MAKE) ${targets})
  else()
    set(build_command ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets})
  endif()
  # Always a Release build, as the Windows stub is; the external build checks its own sources on
  # every build.
  ExternalProject_Add(tavmor_${processor}_stub
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    PREFIX ${PROJECT_BINARY_DIR}/${target}-stub
    BINARY_DIR ${PROJECT_BINARY_DIR}/${target}-stub/build
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${target}.cmake
               -DCMAKE_BUILD_TYPE=Release -DTAVMOR_CROSS_REGINA_DIR=${TAVMOR_CROSS_REGINA_DIR}
               -DTAVMOR_BUILD_TESTS=${tests} -DTAVMOR_BUILD_BENCHMARKS=OFF
               -DTAVMOR_WARNINGS_AS_ERRORS=${TAVMOR_WARNINGS_AS_ERRORS}
    BUILD_COMMAND ${build_command}
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/tavmor-launcher ${stub}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${stub})
  install(PROGRAMS ${stub} DESTINATION ${TAVMOR_STUB_DIR}/${target})
endfunction()

include(ExternalProject)
tavmor_linux_cross_stub(aarch64 aarch64-linux-gnu arm64)
tavmor_linux_cross_stub(s390x s390x-linux-gnu s390x)
