# Cross toolchain: 64-bit Windows (x86_64) through Debian's MinGW-w64, posix thread model. The
# product is the i686 build; this one runs the tests where 32-bit programs cannot run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
