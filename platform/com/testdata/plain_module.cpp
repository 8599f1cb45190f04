// A loadable library that is no component server: it has none of the entry points.
extern "C" __attribute__((visibility("default"))) int PlainModuleAnswer() {
    return 42;
}
