// The window tests start GTK and WebKit once per process; they and the
// libraries under them keep caches for the life of the process on purpose,
// which the leak checker would otherwise report at exit.
extern "C" const char* __lsan_default_suppressions() {  // NOLINT: sanitizer hook name
  return "leak:libfontconfig.so\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libcairo.so\n"
         "leak:libgdk_pixbuf-2.0.so\n"
         "leak:libharfbuzz.so\n"
         "leak:libwebkit2gtk-4.1.so\n"
         "leak:libjavascriptcoregtk-4.1.so\n"
         "leak:libsoup-3.0.so\n"
         "leak:libnotify.so\n"
         "leak:libatk-1.0.so\n"
         "leak:libatk-bridge-2.0.so\n"
         "leak:libEGL\n"
         "leak:libGL\n"
         "leak:libepoxy.so\n";
}
