// A library registered as a server that lacks DllGetClassObject.
extern "C" __attribute__((visibility("default"))) long DllCanUnloadNow() { return 0; }
