# Cross build of 64-bit Windows programs: the same code as the shipped 32-bit
# programs, for hosts whose kernel does not run 32-bit programs (and so no
# 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KV_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
