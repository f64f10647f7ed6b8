// The real file functions of the system this build is for, by one name for the tests and
// benchmarks that work on real files.
#pragma once

#ifdef _WIN32
#include "platform/win32/win32_file_functions.h"
namespace lectern {
using NativeFileFunctions = Win32FileFunctions;
}
#else
#include "datastore/posix_file_functions.h"
namespace lectern {
using NativeFileFunctions = PosixFileFunctions;
}
#endif
