#include "shell/sdk/SdkSignIn.h"

#include <exception>

#include "api/calls/HTTPEngine.h"
#include "api/models/RetEntGrantItem.h"
#include "api/models/RetPassport.h"
#include "api/models/RetToken.h"
#include "api/models/RetUserInfo.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AccountInfo.h"
#include "shell/app/AppDelegate.h"

namespace nb {

namespace {

std::string reply(std::int64_t error, const std::string& message) {
  return JSONString(JsonObjectBuilder().set("type", 1).set("error", error).set("message", message).build())
      .value_or("{}");
}

std::string failure(const RequestRet& ret) {
  return reply(SdkSignIn::kErrorSignIn, ret.strErrorMsg());
}

// A number, or a text holding one, with the integer value 1.
bool isSignInType(const JsonValue& request) {
  const JsonValue& type = request["type"];
  if (!type.isNumber() && !type.isString()) return false;
  return jsonInt64(request, "type") == 1;
}

// The server host a deployment source is served from; `fallback` when the
// process has no source or the passport does not name one.
std::string sourceHost(const ServerInfo& server, const std::string& fallback) {
  if (server.strSource().empty()) return fallback;
  const RetPassport passport = HTTPEngine::passportSource(
      Util::getDealWithHttpsOrHttpUrl(server.strPassport()), server.strSource());
  if (passport.nStatusCode() == 200 && !passport.strServerHost.empty()) {
    return passport.strServerHost;
  }
  return fallback;
}

// The hosts a refused sign-in puts back as they were.
struct SavedHosts {
  explicit SavedHosts(const ServerInfo& server)
      : serverHost(server.strServerHost()), apiHost(server.strApiHost()),
        webHost(server.strWebHost()) {}
  void restore(ServerInfo& server) const {
    server.setStrServerHost(serverHost);
    server.setStrApiHost(apiHost);
    server.setStrWebHost(webHost);
  }
  std::string serverHost;
  std::string apiHost;
  std::string webHost;
};

// The new account's tokens and identity into the session.
void applySignIn(const RetToken& token, const RetUserInfo& info) {
  applySignInToken(token);
  applyAccountInfo(info, ServerInfo::current().get());
}

}  // namespace

SdkSignIn::SdkSignIn(Host host, std::mutex& lock) : host_(std::move(host)), lock_(lock) {}

SdkSignIn::~SdkSignIn() {
  if (bus_ != nullptr) {
    g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  }
  stopping_.request_stop();
  queue_.cancelAllOperations();
  queue_.waitUntilAllOperationsAreFinished();
  if (bus_ != nullptr) g_object_unref(bus_);
}

bool SdkSignIn::start(GDBusConnection* bus) {
  if (bus != nullptr) {
    bus_ = G_DBUS_CONNECTION(g_object_ref(bus));
  } else {
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus_ == nullptr) {
      NBLOG_ERROR("no session bus: SDK sign-in requests go unheard ({})",
                  error ? error->message : "");
      if (error) g_error_free(error);
      return false;
    }
  }
  subscription_ = g_dbus_connection_signal_subscribe(
      bus_, nullptr, kInterface, kRequestSignal, kObjectPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      &SdkSignIn::onSignal, this, nullptr);
  return true;
}

void SdkSignIn::onSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                         GVariant* parameters, gpointer self) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)"))) {
    NBLOG_ERROR("error for str");
    return;
  }
  const char* text = nullptr;
  g_variant_get(parameters, "(&s)", &text);
  static_cast<SdkSignIn*>(self)->onRecvFromSDK(text);
}

std::optional<SdkSignIn::Request> SdkSignIn::parseRequest(const std::string& text) {
  const std::optional<JsonValue> request = Util::dictionaryWithJsonInfo(text);
  if (!request || !request->isObject()) {
    NBLOG_ERROR("error for json");
    return std::nullopt;
  }
  // The request carries a secret: only its shape is logged.
  NBLOG_INFO("SDK request with keys type {} buffer {}", request->contains("type"),
             request->contains("buffer"));
  if (!isSignInType(*request)) return std::nullopt;
  JsonValue buffer = (*request)["buffer"];
  if (buffer.isString()) {
    buffer = Util::dictionaryWithJsonInfo(buffer.asString()).value_or(JsonValue());
  }
  return Request{jsonTextOrEmpty(buffer, "account"), jsonTextOrEmpty(buffer, "client_id"),
                 jsonTextOrEmpty(buffer, "secret")};
}

void SdkSignIn::onRecvFromSDK(const std::string& text) {
  std::optional<Request> request = parseRequest(text);
  if (!request) return;
  queue_.addOperation([this, request = std::move(*request)] {
    std::string answer;
    try {
      std::lock_guard lock(lock_);
      answer = sdkLogin(request);
    } catch (const std::exception& e) {
      NBLOG_ERROR("SDK sign-in failed: {}", e.what());
      answer = reply(kErrorSignIn, "");
    }
    sendToSDK(answer);
  });
}

std::string SdkSignIn::sdkLogin(const Request& request) {
  UserData& session = UserData::shareUserData();
  const std::string current = session.strMemberAccount();
  if (!current.empty() && current == request.account) {
    if (!host_.openMainWindow) {
      NBLOG_ERROR("no main window opener is registered for SDK sign-in");
      return reply(kErrorSignIn, "");
    }
    if (!platform::MainThread::postAndWait(host_.openMainWindow, stopping_.get_token())) {
      return reply(kErrorSignIn, "");
    }
    return reply(0, "");
  }
  if (!host_.loginByAuto) {
    NBLOG_ERROR("no automatic sign-in is registered for SDK sign-in");
    return reply(kErrorSignIn, "");
  }
  // Everything is checked before the running session is touched, so a
  // refused request (or a stranger on the bus) cannot sign the user out.
  const std::shared_ptr<ServerInfo> server = ServerInfo::current();
  const std::string oldHost = server->strServerHost();
  const std::string host = sourceHost(*server, oldHost);
  const RetEntGrantItem grant = HTTPEngine::getEntGrant(Util::getDealWithHttpsOrHttpUrl(host),
                                                        request.clientId, request.secret,
                                                        request.account);
  if (grant.nStatusCode() != 200) return failure(grant);
  // The key is redeemed at the configured host: the passport's for the call,
  // the old one back when the sign-in is refused.
  const SavedHosts hosts(*server);
  if (host != oldHost) server->setServerHost(host);
  const RetToken token = HTTPEngine::checkLogin(grant.strKey, session.getinfo(), session.getdevice());
  RetUserInfo info;
  if (token.nStatusCode() == 200) info = HTTPEngine::getAccountInfo(token.strAccessToken, 0);
  if (token.nStatusCode() != 200 || info.nStatusCode() != 200) {
    if (host != oldHost) hosts.restore(*server);
    return failure(token.nStatusCode() != 200 ? static_cast<const RequestRet&>(token) : info);
  }
  if (!current.empty()) Util::getAppDelegate()->logoutByError();
  if (host != oldHost) session.setStrServerHost(host);
  applySignIn(token, info);
  if (auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate())) {
    app->setBLogin(true);
  } else {
    NBLOG_ERROR("no application delegate: the SDK sign-in is not marked");
  }
  host_.loginByAuto();
  return reply(0, "");
}

void SdkSignIn::sendToSDK(const std::string& reply) {
  if (bus_ == nullptr) {
    NBLOG_ERROR("SDK reply dropped: not listening on a bus");
    return;
  }
  GError* error = nullptr;
  if (!g_dbus_connection_emit_signal(bus_, nullptr, kObjectPath, kInterface, kReplySignal,
                                     g_variant_new("(s)", reply.c_str()), &error)) {
    NBLOG_ERROR("SDK reply not sent: {}", error ? error->message : "");
    if (error) g_error_free(error);
    return;
  }
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
}

}  // namespace nb
