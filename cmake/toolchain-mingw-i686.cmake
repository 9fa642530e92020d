# Cross-build for 32-bit x86 Windows with Debian's MinGW-w64 (g++-mingw-w64-i686):
# the module the host loads is a 32-bit DLL.
#
# The win32 thread model of the compiler is preferred: the component starts no
# threads, and that variant needs no winpthread DLL beside the module.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(PCM_MINGW_TRIPLE i686-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${PCM_MINGW_TRIPLE}-g++-win32 ${PCM_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PCM_MINGW_TRIPLE}-windres)
find_program(PCM_DLLTOOL NAMES ${PCM_MINGW_TRIPLE}-dlltool REQUIRED)
find_program(PCM_OBJDUMP NAMES ${PCM_MINGW_TRIPLE}-objdump)

# Look for headers and libraries of the target only, for programs on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PCM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic instead of the x87 unit (see FloatingPoint.cmake); set here as
# well so that every check CMake compiles sees the same code generation.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
