#include "shell/ui/gtk/PortalScreenCapture.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::ui {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// How one attempt ended: a picture file (a path), a cancel or refusal, or
// no portal to ask at all.
struct Answer {
  enum Kind { Picture, NoPicture, NoPortal } kind = NoPicture;
  std::string path;
};
using AnswerHandler = std::function<void(Answer)>;

// One capture in flight: the answer arrives as a Response signal on the
// request object the portal names after our bus name and the token.
struct Capture {
  AnswerHandler done;
  platform::GObjectPtr<GDBusConnection> bus;
  guint subscription = 0;
  bool ended = false;

  // May free this object (through the subscription's destroy notify):
  // nothing touches it afterwards.
  void end(Answer answer) {
    if (ended) return;
    ended = true;
    // Never inline: the caller may still be inside the capture call.
    platform::MainThread::post(
        [callback = std::move(done), answer = std::move(answer)] { callback(answer); });
    const guint id = subscription;
    subscription = 0;
    if (id == 0) return;
    platform::GObjectPtr<GDBusConnection> keep(G_DBUS_CONNECTION(g_object_ref(bus.get())));
    g_dbus_connection_signal_unsubscribe(keep.get(), id);
  }
};

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
  auto* capture = static_cast<Capture*>(data);
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  const gchar* uri = nullptr;
  Answer answer;
  if (response == 0 && results && g_variant_lookup(results, "uri", "&s", &uri) && uri) {
    platform::GCharPtr path(g_filename_from_uri(uri, nullptr, nullptr));
    if (path) answer = {Answer::Picture, path.get()};
  }
  if (results) g_variant_unref(results);
  capture->end(std::move(answer));
}

std::string requestPath(GDBusConnection* bus, const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus);
  if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

void askPortal(AnswerHandler done) {
  // Freed with the subscription's user data once the answer came or the
  // call failed.
  auto* capture = new Capture{std::move(done), nullptr};
  GError* raw = nullptr;
  capture->bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  platform::GErrorPtr error(raw);
  if (!capture->bus) {
    NBLOG_WARN("no session bus for the screenshot portal");
    capture->end({Answer::NoPortal, {}});
    delete capture;
    return;
  }
  static std::atomic<unsigned> counter{0};
  const std::string token = "nubren" + std::to_string(++counter);
  // Subscribed before the call so that a quick answer is not missed.
  capture->subscription = g_dbus_connection_signal_subscribe(
      capture->bus.get(), kPortal, "org.freedesktop.portal.Request", "Response",
      requestPath(capture->bus.get(), token).c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NO_MATCH_RULE,
      onResponse, capture, [](gpointer data) { delete static_cast<Capture*>(data); });
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(TRUE));
  g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
  g_dbus_connection_call(
      capture->bus.get(), kPortal, kPortalPath, "org.freedesktop.portal.Screenshot", "Screenshot",
      g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
      G_MAXINT, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        GError* failure = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &failure);
        platform::GErrorPtr owned(failure);
        if (reply) {
          g_variant_unref(reply);
          return;
        }
        NBLOG_WARN("screenshot portal unavailable: {}", owned ? owned->message : "");
        static_cast<Capture*>(data)->end({Answer::NoPortal, {}});
      },
      capture);
}

// The program's argv for `path`: "%f" replaced, else the path appended.
std::vector<std::string> programArgv(const std::vector<std::string>& program,
                                     const std::string& path) {
  std::vector<std::string> argv;
  bool named = false;
  for (const std::string& word : program) {
    named = named || word == "%f";
    argv.push_back(word == "%f" ? path : word);
  }
  if (!named) argv.push_back(path);
  return argv;
}

// Runs the capture program for `path`; `done` later on the main thread
// with whether the file is there once it ended.
void runProgram(const std::vector<std::string>& program, const std::string& path,
                std::function<void(bool)> done) {
  const std::vector<std::string> argv = programArgv(program, path);
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  GPid pid = 0;
  GError* failure = nullptr;
  const gboolean started =
      g_spawn_async(nullptr, raw.data(), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                    nullptr, nullptr, &pid, &failure);
  platform::GErrorPtr error(failure);
  if (!started) {
    NBLOG_WARN("cannot start the capture program: {}", error ? error->message : "");
    platform::MainThread::post([done = std::move(done)] { done(false); });
    return;
  }
  struct Wait {
    std::function<void(bool)> done;
    std::string path;
  };
  g_child_watch_add_full(
      G_PRIORITY_DEFAULT, pid,
      [](GPid child, gint, gpointer data) {
        g_spawn_close_pid(child);
        auto* wait = static_cast<Wait*>(data);
        // The program's status says little (some end 0 on a cancel): the
        // file tells, and an empty one is no picture.
        GStatBuf info;
        wait->done(g_stat(wait->path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                   info.st_size > 0);
      },
      new Wait{std::move(done), path}, [](gpointer data) { delete static_cast<Wait*>(data); });
}

bool moveInto(const std::string& from, const std::string& to) {
  platform::GObjectPtr<GFile> source(g_file_new_for_path(from.c_str()));
  platform::GObjectPtr<GFile> target(g_file_new_for_path(to.c_str()));
  GError* failure = nullptr;
  const gboolean moved = g_file_move(source.get(), target.get(), G_FILE_COPY_OVERWRITE,
                                     nullptr, nullptr, nullptr, &failure);
  platform::GErrorPtr error(failure);
  if (!moved) NBLOG_WARN("cannot keep the screenshot: {}", error ? error->message : "");
  return moved != FALSE;
}

std::vector<std::string> programFromEnvironment() {
  const char* text = std::getenv(PortalScreenCapture::kProgramVariable);
  if (!text || !*text) return {};
  gchar** words = nullptr;
  GError* failure = nullptr;
  if (!g_shell_parse_argv(text, nullptr, &words, &failure)) {
    platform::GErrorPtr error(failure);
    NBLOG_WARN("cannot read {}: {}", PortalScreenCapture::kProgramVariable,
               error ? error->message : "");
    return {};
  }
  std::vector<std::string> program;
  for (gchar** word = words; *word; ++word) program.emplace_back(*word);
  g_strfreev(words);
  return program;
}

}  // namespace

PortalScreenCapture::PortalScreenCapture() : PortalScreenCapture(Options{true, programFromEnvironment()}) {}

PortalScreenCapture::PortalScreenCapture(Options options) : options_(std::move(options)) {}

void PortalScreenCapture::captureToFile(const std::string& path,
                                        std::function<void(bool captured)> done) {
  auto fallback = [program = options_.program, path](std::function<void(bool)> finish) {
    if (program.empty()) {
      NBLOG_WARN("no screenshot portal and no capture program");
      finish(false);
      return;
    }
    runProgram(program, path, std::move(finish));
  };
  if (!options_.usePortal) {
    // Posted so that `done` never runs inline, whatever the fallback does.
    platform::MainThread::post(
        [fallback = std::move(fallback), done = std::move(done)]() mutable { fallback(std::move(done)); });
    return;
  }
  askPortal([fallback = std::move(fallback), path, done = std::move(done)](Answer answer) mutable {
    switch (answer.kind) {
      case Answer::Picture:
        done(moveInto(answer.path, path));
        return;
      case Answer::NoPicture:
        done(false);
        return;
      case Answer::NoPortal:
        fallback(std::move(done));
        return;
    }
  });
}

void PortalScreenCapture::captureToClipboard(std::function<void(bool captured)> done) {
  // A picture file of our own, so that the portal's and the program's end
  // the same way; it goes once the clipboard holds the decoded picture.
  platform::GCharPtr file(g_build_filename(g_get_tmp_dir(), "nubren-capture-XXXXXX.png", nullptr));
  const int fd = g_mkstemp(file.get());
  if (fd < 0) {
    platform::MainThread::post([done = std::move(done)] { done(false); });
    return;
  }
  close(fd);
  std::string path = file.get();
  captureToFile(path, [path, done = std::move(done)](bool captured) {
    bool onClipboard = false;
    if (captured) {
      GError* raw = nullptr;
      platform::GObjectPtr<GdkPixbuf> picture(gdk_pixbuf_new_from_file(path.c_str(), &raw));
      platform::GErrorPtr error(raw);
      if (picture) {
        gtk_clipboard_set_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), picture.get());
        onClipboard = true;
      }
    }
    g_unlink(path.c_str());
    done(onClipboard);
  });
}

}  // namespace nb::ui
