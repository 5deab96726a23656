// LeakSanitizer's suppressions, built into the checking build of every
// program with a Qt window (Tonus, plughost): Qt opens a D-Bus connection
// (accessibility, the platform theme) whose buffers libdbus keeps for the
// life of the process and frees only in dbus_shutdown, which nothing calls.
// Only allocations made inside libdbus are suppressed; those of Qt, our own
// code and the plug-ins are all checked. LeakSanitizer asks for this text
// itself at start; an object library links it in although nothing calls it.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}
#endif
