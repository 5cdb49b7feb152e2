# Every dependency comes from Debian's packages (scripts/setup installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
find_package(spdlog REQUIRED)
find_package(fmt REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n data)
find_package(LibXml2 REQUIRED)

pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0 gobject-2.0)
pkg_check_modules(SQLCIPHER REQUIRED IMPORTED_TARGET sqlcipher)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
# JavaScriptCore alone (part of WebKit2GTK) runs proxy auto-configuration scripts.
pkg_check_modules(JSC REQUIRED IMPORTED_TARGET javascriptcoregtk-4.1)
# The per-user credential storage of the request library (the Secret Service).
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
pkg_check_modules(APPINDICATOR REQUIRED IMPORTED_TARGET ayatana-appindicator3-0.1)
pkg_check_modules(LIBNOTIFY REQUIRED IMPORTED_TARGET libnotify)
# The screenshot hot key grabs its key on the X11 root window.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(CANBERRA REQUIRED IMPORTED_TARGET libcanberra)

if(NB_BUILD_TESTS)
  find_package(GTest REQUIRED)
  find_package(nlohmann_json REQUIRED)
  find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
  # Debian ships cpp-httplib compiled; its flags (OpenSSL support) must match.
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
if(NB_BUILD_BENCH)
  find_package(benchmark REQUIRED)
  find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h)
endif()
