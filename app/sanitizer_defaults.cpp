// Built into the program only when it is built with the sanitizers (the test build).
//
// Qt's own threads (the session bus's connection thread, made by Qt's accessibility bridge and
// by the program's control interface; the image scaling pool) are taken down while the process
// ends, and the bookkeeping of such a thread can still be held when the leak check runs: a
// few hundred bytes, once, owned by Qt. The program makes no QThread of its own, so a leak
// whose allocation passes through QThread's constructor is Qt's. Qt's libraries have no frame
// pointers: the check walks allocation stacks from the unwind tables instead, or those frames
// would be lost and the leak could not be told from one of the program's.

extern "C" {

const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

const char* __lsan_default_options() {
    return "print_suppressions=0";
}

const char* __lsan_default_suppressions() {
    return "leak:QThread::QThread\n"
           "leak:QDaemonThread::QDaemonThread\n";
}

}  // extern "C"
