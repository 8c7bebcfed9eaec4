// A loadable library that lacks the "HexToBin" entry point.
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 1; }
