# Cross build for 64-bit Windows with MinGW-w64: the same sources as the 32-bit build, tested
# under Wine's 64-bit half on machines whose kernel runs no 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LECTERN_MINGW_TRIPLE x86_64-w64-mingw32)
set(LECTERN_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
