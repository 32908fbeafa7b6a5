# Cross build of 32-bit Windows programs: the shipped programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KV_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
