#pragma once
// What the window tests' leak check leaves out: GTK, WebKit and the
// libraries under them keep caches for the life of the process on purpose.
// Each window test program returns it from its __lsan_default_suppressions.

namespace nb::test {

inline const char* windowLeakSuppressions() {
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

}  // namespace nb::test
