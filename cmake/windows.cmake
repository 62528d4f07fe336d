# The Windows side, built with MinGW-w64 (see mingw-w64-x86_64.cmake).

find_program(TAVMOR_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
find_program(TAVMOR_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)

# The launcher imports rexx.dll's creation function by ordinal alone, as the interpreter library
# exports it; an import library made from the .def file gives the linker that entry.
set(TAVMOR_REXX_DEF ${PROJECT_SOURCE_DIR}/src/interp/rexx_win32.def)
set(TAVMOR_REXX_IMPORT_LIB ${PROJECT_BINARY_DIR}/lib/librexx.dll.a)
add_custom_command(
  OUTPUT ${TAVMOR_REXX_IMPORT_LIB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/lib
  COMMAND ${TAVMOR_DLLTOOL} --machine i386:x86-64 --input-def ${TAVMOR_REXX_DEF}
          --output-lib ${TAVMOR_REXX_IMPORT_LIB}
  DEPENDS ${TAVMOR_REXX_DEF}
  COMMENT "Making the import library of rexx.dll")
add_custom_target(tavmor_rexx_import_lib DEPENDS ${TAVMOR_REXX_IMPORT_LIB})
add_library(tavmor_rexx INTERFACE)
target_link_libraries(tavmor_rexx INTERFACE ${TAVMOR_REXX_IMPORT_LIB})
add_dependencies(tavmor_rexx tavmor_rexx_import_lib)
set(TAVMOR_INTERPRETER tavmor_rexx)

# The application manifest (UTF-8 as the active code page), compiled to an object file here
# rather than as an RC source, which would be handed the C++ warning options.
set(TAVMOR_APP_RESOURCE ${PROJECT_BINARY_DIR}/app_win32.res.o)
add_custom_command(
  OUTPUT ${TAVMOR_APP_RESOURCE}
  COMMAND ${TAVMOR_WINDRES} --target=pe-x86-64 --input app_win32.rc --output ${TAVMOR_APP_RESOURCE}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/src/platform
  DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/app_win32.rc
          ${PROJECT_SOURCE_DIR}/src/platform/app_win32.manifest
  COMMENT "Compiling the application manifest")

set(TAVMOR_LAUNCHER_PLATFORM_SOURCES ${PROJECT_SOURCE_DIR}/src/launcher/wildcard_win32.cpp
                                     ${TAVMOR_APP_RESOURCE})
set(TAVMOR_TOOL_PLATFORM_SOURCES ${TAVMOR_APP_RESOURCE})

# The C++ runtime, libgcc and winpthreads go into each program: a launcher file needs no DLL
# beside it but the interpreter's.
add_link_options(-static)
# Every launcher file carries the launcher: without its symbol tables it is a third the size, and
# built for size it is a tenth smaller again than with -O2 (149 KB against 166 KB; its work is
# reading and writing files, and the decoder's vector code is the same either way).
add_link_options($<$<CONFIG:Release,MinSizeRel>:-s>)
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
