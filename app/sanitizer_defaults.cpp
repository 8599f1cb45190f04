// Built into the program only when it is built with the sanitizers (the test build).
//
// Qt's own threads (the session bus's connection thread, made by Qt's accessibility bridge and
// by the program's control interface; the image scaling pool) are taken down while the process
// ends, and the bookkeeping of such a thread can still be held when the leak check runs: a
// few hundred bytes, once, owned by Qt. The program makes no QThread of its own, so a leak
// whose allocation passes through QThread's constructor is Qt's. Qt's libraries have no frame
// pointers: the check walks allocation stacks from the unwind tables instead, or those frames
// would be lost and the leak could not be told from one of the program's.
//
// The leak check does not follow the dynamic thread-local blocks of libraries loaded at run time
// (the tray library's, the image plugins') through the runtime's own record of __tls_get_addr
// (intercept_tls_get_addr=0). Since glibc 2.26 such a block is allocated with malloc, so it is an
// ordinary heap block of the sanitizer's allocator, which the check reaches from glibc's thread
// vector like any other. The runtime of GCC 12 tries instead to guess each block's extent for old
// glibc versions: a block that starts 16 bytes past a page boundary is taken for one of glibc
// 2.19's, and the 16 bytes in front of it for that version's header of size and start. Here those
// bytes are the allocator's header of the block, so the check scans a range made of its flags,
// size and allocation stack number (such as 0x2c13 up to 0x900003d15, for the tray library's 9
// bytes) and crashes in the scan at the program's end ("Tracer caught signal 11"). Which block
// lands on such an address depends only on how many small allocations came before it. Every block
// not at such an address the runtime records with no extent at all, so turning the record off
// changes nothing else that the check scans.

extern "C" {

const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

const char* __lsan_default_options() {
    return "print_suppressions=0:intercept_tls_get_addr=0";
}

const char* __lsan_default_suppressions() {
    return "leak:QThread::QThread\n"
           "leak:QDaemonThread::QDaemonThread\n";
}

}  // extern "C"
