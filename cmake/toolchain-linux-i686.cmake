# 32-bit x86 Linux with Debian's multilib compiler (g++-multilib).  The
# programs run under qemu-i386 (qemu-user), which CMake uses for every program
# it runs, so the 32-bit code generation, the cdecl double returns and the
# worked examples are checked on a 32-bit target on any x86-64 machine, whether
# or not its kernel runs 32-bit programs.  The linux-i686 preset links them
# statically; linux-i686-shared links them against the 32-bit shared libraries,
# for the tests that load the module as a host does.
#
# Debian's libgtest is 64-bit only: use this file together with
# GoogleTestFromSource.cmake (the linux-i686 preset does), which builds
# GoogleTest from its sources for this target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

find_program(CMAKE_CXX_COMPILER NAMES g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES gcc REQUIRED)  # GoogleTest's build enables C
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES qemu-i386 REQUIRED)

# SSE2 arithmetic instead of the x87 unit (see FloatingPoint.cmake).
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
