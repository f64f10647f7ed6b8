# The part of the MinGW-w64 cross builds that is the same for both widths; the including file
# names the target (LECTERN_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR) and the Wine that runs it.
set(CMAKE_C_COMPILER ${LECTERN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LECTERN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LECTERN_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${LECTERN_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LECTERN_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Our own cross-built dependencies first, then the compiler's own tree; never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${LECTERN_MINGW_TRIPLE} ${LECTERN_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(LECTERN_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} ${LECTERN_WINDOWS_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# The C and C++ runtimes linked in, so the executables run under Wine without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${LECTERN_WINE})
# Headers of the dependencies built for this target.
if(LECTERN_WINDOWS_DEPS)
  set(CMAKE_C_FLAGS_INIT "-isystem ${LECTERN_WINDOWS_DEPS}/include")
  set(CMAKE_CXX_FLAGS_INIT "-isystem ${LECTERN_WINDOWS_DEPS}/include")
endif()

