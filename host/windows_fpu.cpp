// Windows only: leaves the x87 settings of the host's threads alone.
//
// The MinGW runtime linked into the module calls _fpreset for every thread the
// host starts after loading the module, and its _fpreset runs fninit: that sets
// the x87 precision of the new thread to 64-bit extended, where Windows starts
// threads at 53 bits, and would change the results of any x87 arithmetic of the
// host on that thread.  The module computes in SSE2 and must not change the
// floating-point settings of the threads that call it, so it brings its own
// _fpreset, which does nothing; the linker takes it instead of the runtime's.
extern "C" void _fpreset() {}
