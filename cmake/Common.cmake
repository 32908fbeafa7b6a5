# Flags, Boost, and helpers shared by every library and test.

# The architecture of this build tree: i686 (the shipped programs) or x86_64
# (the same code for hosts that cannot run 32-bit programs).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KV_ARCH x86_64)
else()
  set(KV_ARCH i686)
endif()
set(KV_ARCH ${KV_ARCH} CACHE INTERNAL "Architecture of this build tree")

# Programs built here run under Wine in this build tree's own prefix, made for
# their architecture.
set(KV_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
file(WRITE ${KV_WINE_RUN}.tmp
  "#!/bin/sh\nKV_BUILD_DIR='${CMAKE_BINARY_DIR}' KV_WINE_ARCH=${KV_ARCH} exec '${CMAKE_SOURCE_DIR}/tools/wine-run' \"$@\"\n")
file(COPY_FILE ${KV_WINE_RUN}.tmp ${KV_WINE_RUN} ONLY_IF_DIFFERENT)
file(REMOVE ${KV_WINE_RUN}.tmp)
file(CHMOD ${KV_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE_RUN})

# Boost is used header-only; the cross compiler sees only the boost folder,
# never the rest of the host's /usr/include.
set(KV_BOOST_INCLUDE ${CMAKE_BINARY_DIR}/boost-include)
if(NOT EXISTS ${KV_BOOST_INCLUDE}/boost)
  file(MAKE_DIRECTORY ${KV_BOOST_INCLUDE})
  file(CREATE_LINK /usr/include/boost ${KV_BOOST_INCLUDE}/boost SYMBOLIC)
endif()

add_library(kv_common INTERFACE)
target_include_directories(kv_common INTERFACE
  ${CMAKE_SOURCE_DIR}
  ${CMAKE_BINARY_DIR}/generated)
target_include_directories(kv_common SYSTEM INTERFACE ${KV_BOOST_INCLUDE})
target_compile_definitions(kv_common INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601
  BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H)
target_compile_options(kv_common INTERFACE
  -Wall -Werror=return-type -Wno-unknown-pragmas)
target_link_options(kv_common INTERFACE -static -static-libgcc -static-libstdc++)

# A release is what users download first: optimised for size (this -Os comes
# after CMake's -O3 and wins), in sections of their own so that the shipped
# programs' link can drop what nothing uses; -g1 (function names and line
# tables) fills the debug file kept beside each of them.
option(KV_LTO "Link the shipped programs with link-time optimisation in Release builds" ON)
set(KV_RELEASE_OPTIONS -Os -g1 -ffunction-sections -fdata-sections)
if(KV_LTO)
  # Fat objects: every other program (the tests) links their plain code and
  # stays quick to link; kv_shipped_program asks for -flto after this.
  list(APPEND KV_RELEASE_OPTIONS -flto -ffat-lto-objects)
  add_link_options("$<$<CONFIG:Release>:-fno-lto>")
endif()
target_compile_options(kv_common INTERFACE "$<$<CONFIG:Release>:${KV_RELEASE_OPTIONS}>")

# kv_shipped_program(NAME DESCRIPTION IDENTITY): a program that users get. It
# carries the compatibility manifest (assembly name IDENTITY) and a version
# block describing it as DESCRIPTION. Its link drops unused sections (with
# link-time optimisation in Release) and writes NAME.map beside it
# (scripts/size-report.py reads it); its debug information is moved to
# NAME.debug there, and the program itself is stripped.
function(kv_shipped_program name description identity)
  set(KV_PROGRAM_NAME ${name})
  set(KV_PROGRAM_DESCRIPTION ${description})
  set(KV_PROGRAM_IDENTITY ${identity})
  if(KV_ARCH STREQUAL "x86_64")
    set(KV_PROGRAM_CPU amd64)
  else()
    set(KV_PROGRAM_CPU x86)
  endif()
  set(KV_PROGRAM_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${name}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/program.manifest.in ${KV_PROGRAM_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}-program.rc @ONLY)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}-program.rc PROPERTIES
    OBJECT_DEPENDS ${KV_PROGRAM_MANIFEST})
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cxx/core/TerminateHandler.cpp
                                 ${CMAKE_CURRENT_BINARY_DIR}/${name}-program.rc)
  target_link_options(${name} PRIVATE -Wl,--gc-sections -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  if(KV_ARCH STREQUAL "i686")
    # A 32-bit process gets 4 GiB of address space on 64-bit Windows, not 2:
    # the setup program holds a whole installer in memory. (The 64-bit linker
    # marks every image so and knows no such option.)
    target_link_options(${name} PRIVATE -Wl,--large-address-aware)
  endif()
  if(KV_LTO)
    # The code is compiled at link time, with the link's flags: those of the
    # compile again, after CMake's -O3. No partition at all: GCC 12 for mingw
    # crashes (binds_to_current_def_p) when it splits these programs, and the
    # single partition's object file cannot hold section names beyond the first
    # megabyte of its name table (it then fails to read LTO_section_decls).
    target_link_options(${name} PRIVATE "$<$<CONFIG:Release>:${KV_RELEASE_OPTIONS};-flto-partition=none>")
  endif()
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${name}> ${name}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${name}.debug $<TARGET_FILE_NAME:${name}>
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    BYPRODUCTS ${CMAKE_CURRENT_BINARY_DIR}/${name}.debug ${CMAKE_CURRENT_BINARY_DIR}/${name}.map
    VERBATIM)
endfunction()

# kv_library(NAME SOURCES... [LIBS ...]): one static library per folder.
function(kv_library name)
  cmake_parse_arguments(KV "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${KV_SOURCES})
  target_link_libraries(${name} PUBLIC kv_common ${KV_LIBS})
endfunction()

# kv_gtest(NAME SOURCES... [LIBS ...] [SERVERS ...] [LABELS ...] [PROPERTIES ...]):
# a GoogleTest program run under Wine. SERVERS names loopback servers
# (tests/servers/NAME.py) that run beside each test case.
function(kv_gtest name)
  if(NOT KV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(KV "" "TIMEOUT" "SOURCES;LIBS;SERVERS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${KV_SOURCES})
  target_link_libraries(${name} PRIVATE kv_common gtest gmock ${KV_LIBS})
  # Every case, and the listing of them, runs through with_servers.py, which
  # also tells Wine's rare death at exit from a failing test.
  set(servers "")
  foreach(server ${KV_SERVERS})
    list(APPEND servers --server ${server})
  endforeach()
  set(emulator python3 ${CMAKE_SOURCE_DIR}/tests/support/with_servers.py ${servers} -- ${KV_WINE_RUN})
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
  if(NOT KV_TIMEOUT)
    set(KV_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KV_BUILD_DIR=${CMAKE_BINARY_DIR}"
               TIMEOUT ${KV_TIMEOUT} LABELS "wine;${KV_LABELS}" ${KV_PROPERTIES})
endfunction()

# Windows libraries most code needs.
set(KV_WIN_LIBS wininet winhttp crypt32 wintrust advapi32 ole32 oleaut32 uuid shlwapi
    version wtsapi32 bcrypt rpcrt4 urlmon shell32 user32 gdi32 comctl32 ws2_32)
