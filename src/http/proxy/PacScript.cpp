#include "http/proxy/PacScript.h"

#include <arpa/inet.h>
#include <jsc/jsc.h>
#include <netdb.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <sstream>

#include "platform/GObjectPtr.h"

namespace nb::http {

namespace {

// The standard helpers a PAC script may call.
constexpr const char* kPrelude = R"JS(
function isPlainHostName(h) { return h.indexOf('.') < 0; }
function dnsDomainIs(h, d) { return h.length >= d.length && h.substring(h.length - d.length) == d; }
function localHostOrDomainIs(h, hd) { return h == hd || hd.lastIndexOf(h + '.', 0) == 0; }
function dnsResolve(h) { var a = __nbResolve(String(h)); return a === '' ? null : a; }
function isResolvable(h) { return dnsResolve(h) !== null; }
function myIpAddress() { var a = __nbResolve(__nbHostName()); return a === '' ? '127.0.0.1' : a; }
function dnsDomainLevels(h) { return h.split('.').length - 1; }
function shExpMatch(s, p) {
  var r = p.replace(/[.+^${}()|[\]\\]/g, '\\$&').replace(/\*/g, '.*').replace(/\?/g, '.');
  return new RegExp('^' + r + '$').test(s);
}
function __nbIp(a) {
  var p = String(a).split('.');
  if (p.length != 4) return null;
  return (((+p[0]) << 24) >>> 0) + ((+p[1]) << 16) + ((+p[2]) << 8) + (+p[3]);
}
function isInNet(h, pattern, mask) {
  var a = /^\d+\.\d+\.\d+\.\d+$/.test(h) ? h : dnsResolve(h);
  if (!a) return false;
  var m = __nbIp(mask);
  return ((__nbIp(a) & m) >>> 0) == ((__nbIp(pattern) & m) >>> 0);
}
var __nbDays = ['SUN', 'MON', 'TUE', 'WED', 'THU', 'FRI', 'SAT'];
var __nbMonths = ['JAN', 'FEB', 'MAR', 'APR', 'MAY', 'JUN', 'JUL', 'AUG', 'SEP', 'OCT', 'NOV', 'DEC'];
function __nbArgs(list) {
  var a = Array.prototype.slice.call(list);
  var gmt = a.length > 0 && a[a.length - 1] == 'GMT';
  if (gmt) a.pop();
  return { args: a, gmt: gmt, now: new Date() };
}
function __nbInRange(v, lo, hi) { return lo <= hi ? (v >= lo && v <= hi) : (v >= lo || v <= hi); }
function weekdayRange() {
  var c = __nbArgs(arguments);
  var day = c.gmt ? c.now.getUTCDay() : c.now.getDay();
  var lo = __nbDays.indexOf(c.args[0]);
  var hi = c.args.length > 1 ? __nbDays.indexOf(c.args[1]) : lo;
  return lo >= 0 && hi >= 0 && __nbInRange(day, lo, hi);
}
function timeRange() {
  var c = __nbArgs(arguments), a = c.args, d = c.now;
  var h = c.gmt ? d.getUTCHours() : d.getHours();
  var now = h * 3600 + (c.gmt ? d.getUTCMinutes() : d.getMinutes()) * 60 +
            (c.gmt ? d.getUTCSeconds() : d.getSeconds());
  if (a.length == 1) return h == a[0];
  if (a.length == 2) return __nbInRange(now, a[0] * 3600, a[1] * 3600 + 3599);
  if (a.length == 4) return __nbInRange(now, a[0] * 3600 + a[1] * 60, a[2] * 3600 + a[3] * 60 + 59);
  if (a.length == 6) return __nbInRange(now, a[0] * 3600 + a[1] * 60 + a[2], a[3] * 3600 + a[4] * 60 + a[5]);
  return false;
}
function dateRange() {
  var c = __nbArgs(arguments), a = c.args, d = c.now;
  var day = c.gmt ? d.getUTCDate() : d.getDate();
  var month = c.gmt ? d.getUTCMonth() : d.getMonth();
  var year = c.gmt ? d.getUTCFullYear() : d.getFullYear();
  function value(x) {
    if (typeof x == 'string') return { kind: 'month', v: __nbMonths.indexOf(x) };
    return x > 31 ? { kind: 'year', v: x } : { kind: 'day', v: x };
  }
  if (a.length != 1 && a.length != 2) return false;
  var lo = value(a[0]), hi = value(a.length == 2 ? a[1] : a[0]);
  if (lo.kind != hi.kind || lo.v < 0 || hi.v < 0) return false;
  var v = lo.kind == 'day' ? day : lo.kind == 'month' ? month : year;
  return __nbInRange(v, lo.v, hi.v);
}
)JS";

// The first IPv4 address of a name, or "".
char* resolveName(const char* host, gpointer) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  std::string address;
  if (host != nullptr && getaddrinfo(host, nullptr, &hints, &found) == 0 && found != nullptr) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) address = text;
  }
  if (found != nullptr) freeaddrinfo(found);
  return g_strdup(address.c_str());
}

char* hostName(gpointer) {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return g_strdup(name);
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<std::vector<std::string>> parsePacAnswer(const std::string& answer) {
  std::vector<std::string> uris;
  std::stringstream entries(answer);
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    entry = trimmed(entry);
    if (entry.empty()) continue;
    const size_t space = entry.find_first_of(" \t");
    std::string kind = entry.substr(0, space);
    for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (kind == "DIRECT") {
      uris.emplace_back("direct://");
      continue;
    }
    if (space == std::string::npos) return std::nullopt;
    const std::string where = trimmed(entry.substr(space));
    if (where.empty()) return std::nullopt;
    if (kind == "PROXY") {
      uris.push_back("http://" + where);
    } else if (kind == "HTTPS") {
      uris.push_back("https://" + where);
    } else if (kind == "SOCKS") {
      uris.push_back("socks://" + where);
    } else if (kind == "SOCKS4") {
      uris.push_back("socks4://" + where);
    } else if (kind == "SOCKS5") {
      uris.push_back("socks5://" + where);
    } else {
      return std::nullopt;
    }
  }
  return uris;
}

namespace {

// One thread runs every script, in one virtual machine that lives as long as
// the process: JavaScriptCore ties a machine's contexts to one thread, and
// tearing a machine down runs library code that our sanitizers misread.
class PacThread {
 public:
  static PacThread& shared() {
    static auto* const instance = new PacThread();
    return *instance;
  }

  template <typename Result>
  Result run(std::function<Result(JSCVirtualMachine*)> work) {
    std::packaged_task<Result()> task([this, &work] { return work(machine_); });
    auto result = task.get_future();
    {
      std::lock_guard lock(mutex_);
      tasks_.emplace_back([&task] { task(); });
    }
    wake_.notify_one();
    return result.get();
  }

 private:
  PacThread() {
    std::thread([this] {
      machine_ = jsc_virtual_machine_new();
      for (;;) {
        std::function<void()> next;
        {
          std::unique_lock lock(mutex_);
          wake_.wait(lock, [this] { return !tasks_.empty(); });
          next = std::move(tasks_.front());
          tasks_.pop_front();
        }
        next();
      }
    }).detach();
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;  // guarded by mutex_
  JSCVirtualMachine* machine_ = nullptr;     // the thread's own, never let go
};

std::optional<std::vector<std::string>> evaluateOnPacThread(JSCVirtualMachine* machine,
                                                            const std::string& script,
                                                            const std::string& url,
                                                            const std::string& host) {
  platform::GObjectPtr<JSCContext> context(jsc_context_new_with_virtual_machine(machine));
  platform::GObjectPtr<JSCValue> resolve(jsc_value_new_function(
      context.get(), "__nbResolve", G_CALLBACK(resolveName), nullptr, nullptr, G_TYPE_STRING, 1,
      G_TYPE_STRING));
  jsc_context_set_value(context.get(), "__nbResolve", resolve.get());
  platform::GObjectPtr<JSCValue> name(jsc_value_new_function(
      context.get(), "__nbHostName", G_CALLBACK(hostName), nullptr, nullptr, G_TYPE_STRING, 0));
  jsc_context_set_value(context.get(), "__nbHostName", name.get());

  const std::string program = std::string(kPrelude) + "\n" + script;
  platform::GObjectPtr<JSCValue> loaded(
      jsc_context_evaluate(context.get(), program.c_str(), static_cast<gssize>(program.size())));
  if (jsc_context_get_exception(context.get()) != nullptr) return std::nullopt;
  platform::GObjectPtr<JSCValue> function(jsc_context_get_value(context.get(), "FindProxyForURL"));
  if (!function || !jsc_value_is_function(function.get())) return std::nullopt;
  platform::GObjectPtr<JSCValue> result(jsc_value_function_call(
      function.get(), G_TYPE_STRING, url.c_str(), G_TYPE_STRING, host.c_str(), G_TYPE_NONE));
  if (jsc_context_get_exception(context.get()) != nullptr || !result ||
      !jsc_value_is_string(result.get())) {
    return std::nullopt;
  }
  std::unique_ptr<char, decltype(&g_free)> text(jsc_value_to_string(result.get()), &g_free);
  if (!text) return std::nullopt;
  return parsePacAnswer(text.get());
}

}  // namespace

std::optional<std::vector<std::string>> evaluatePacScript(const std::string& script,
                                                          const std::string& url,
                                                          const std::string& host) {
  using Answer = std::optional<std::vector<std::string>>;
  return PacThread::shared().run<Answer>(
      [&](JSCVirtualMachine* machine) { return evaluateOnPacThread(machine, script, url, host); });
}

}  // namespace nb::http
