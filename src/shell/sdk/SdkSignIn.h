#pragma once
// Sign-in requests from another local program built with the service's SDK.
//
// Contract on the session bus (the other program must adopt it): the
// program emits the broadcast signal "VESDKIPCNotification" with one string
// argument, the request JSON, on interface kInterface at object path
// kObjectPath; the client answers with the broadcast signal
// "VEClientIPCNotification" (one string, the reply JSON) on the same
// interface and path. Requests are taken from any sender.
//
// Request: {"type":1,"buffer":{"account","client_id","secret"}}, "buffer"
// as an object or the JSON text of one. Reply:
// {"type":1,"error":0|10502,"message":"" or the service's error text}.
//
// A request for another account than the signed-in one is checked in full
// (grant and sign-in with the grant's key, account read) before the running
// session is ended: a refused request leaves that session as it was.
//
// Threads: made, started and destroyed on the main thread; requests are
// served one at a time on a worker of its own, under the shell's SDK lock.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include <gio/gio.h>

#include "platform/OperationQueue.h"

namespace nb {

class SdkSignIn {
 public:
  static constexpr const char* kInterface = "com.nubren.Client.SDK";
  static constexpr const char* kObjectPath = "/com/nubren/Client/SDK";
  static constexpr const char* kRequestSignal = "VESDKIPCNotification";
  static constexpr const char* kReplySignal = "VEClientIPCNotification";
  static constexpr std::int64_t kErrorSignIn = 10502;

  // What the start-up and sign-in parts of the shell provide. An empty
  // function is logged as an error when needed and the request fails.
  struct Host {
    // Shows the main window; called on the main thread.
    std::function<void()> openMainWindow;
    // Starts the automatic sign-in (token refresh, session start) on its
    // own thread; returns at once.
    std::function<void()> loginByAuto;
    // Marks the client signed in (bLogin).
    std::function<void()> setSignedIn;
  };

  struct Request {
    std::string account;
    std::string clientId;
    std::string secret;
  };

  // `lock` (the shell's SDK lock) outlives this object.
  SdkSignIn(Host host, std::mutex& lock);
  ~SdkSignIn();
  SdkSignIn(const SdkSignIn&) = delete;
  SdkSignIn& operator=(const SdkSignIn&) = delete;

  // Listens on `bus` (the session bus when null); false when there is none.
  bool start(GDBusConnection* bus = nullptr);

  // A request's text: nothing (logged when no JSON object) for a request to
  // ignore without a reply.
  static std::optional<Request> parseRequest(const std::string& text);

  // Serves one request text as a received signal would: queued, then the
  // reply is sent.
  void onRecvFromSDK(const std::string& text);
  // Signs in; answers the reply text. Worker thread, under the SDK lock.
  std::string sdkLogin(const Request& request);
  void sendToSDK(const std::string& reply);

  // Waits until every queued request was answered (tests, shut-down).
  void waitIdle() { queue_.waitUntilAllOperationsAreFinished(); }

 private:
  static void onSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                       GVariant* parameters, gpointer self);

  Host host_;
  std::mutex& lock_;
  GDBusConnection* bus_ = nullptr;  // owned reference while started
  unsigned subscription_ = 0;
  // Ends a worker's wait for the main thread when this object goes (on main).
  std::stop_source stopping_;
  platform::OperationQueue queue_{1};
};

}  // namespace nb
