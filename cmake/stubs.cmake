# The launcher stubs of the other targets, which a build ships beside its own. The build tree
# holds them as an install does, in lib/tavmor/TARGET/, where tavmor looks for them.
#   Linux: the Windows stub, cross-built with MinGW-w64 as an external project in
#     BUILD/windows-stub. TAVMOR_WINDOWS_STUB: AUTO builds it where MinGW-w64 is installed, ON
#     requires MinGW-w64, OFF leaves it out (test builds that do not ship it).
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
