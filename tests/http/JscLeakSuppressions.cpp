// Proxy scripts run in one JavaScriptCore machine kept for the life of the
// process; the engine keeps its own caches and thread state until exit, which
// the leak checker would otherwise report.
extern "C" const char* __lsan_default_suppressions() {  // NOLINT: sanitizer hook name
  return "leak:libjavascriptcoregtk-4.1.so\n";
}
