# 64-bit Windows: the same sources, for testing under 64-bit Wine on kernels
# that run no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
