# Cross build for 32-bit Windows with MinGW-w64 (posix thread model, for std::thread and
# std::mutex). Tests run under Wine through the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LECTERN_MINGW_TRIPLE i686-w64-mingw32)
set(LECTERN_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
