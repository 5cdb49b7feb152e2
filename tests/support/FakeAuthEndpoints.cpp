#include "support/FakeAuthEndpoints.h"

#include <map>
#include <mutex>

#include <nlohmann/json.hpp>
#include <openssl/evp.h>


namespace nb::test {

namespace {

constexpr const char* kClientId = "Tz7hWm3RnB9wFq1MvX5cLd2PsJe";

std::optional<std::string> base64Decode(const std::string& text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string out(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  size_t pad = 0;
  if (text.ends_with("==")) pad = 2;
  else if (text.ends_with("=")) pad = 1;
  out.resize(static_cast<size_t>(n) - pad);
  return out;
}

bool sixLowerLetters(const std::string& n) {
  if (n.size() != 6) return false;
  for (char c : n) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

FakeReply oauthError(const std::string& error, const std::string& description, int code = 0) {
  nlohmann::json body{{"error", error}};
  if (!description.empty()) body["error_description"] = description;
  if (code != 0) body["error_code"] = code;
  return FakeReply::json(body, 400);
}

}  // namespace

struct FakeAuthEndpoints::State {
  struct Refusal {
    std::string error;
    std::string description;
    int code = 0;
  };

  mutable std::mutex lock;
  std::map<std::string, std::string> accounts;   // GUARDED_BY(lock)
  std::map<std::string, std::string> domains;    // GUARDED_BY(lock)
  std::string apiHost;                           // GUARDED_BY(lock)
  std::vector<Refusal> refusals;                 // GUARDED_BY(lock)
  std::map<std::string, std::string> secrets;    // GUARDED_BY(lock)
  std::map<std::string, std::string> configs;    // GUARDED_BY(lock)
  std::string update;                            // GUARDED_BY(lock)
  std::vector<std::string> keys;                 // GUARDED_BY(lock): every key granted
  std::map<std::string, bool> liveKeys;          // GUARDED_BY(lock): key -> unused
  std::vector<std::string> activated;            // GUARDED_BY(lock)
  std::optional<std::string> lastTicket;         // GUARDED_BY(lock)

  FakeReply passport(const FakeCall& call);
  FakeReply entgrant(const FakeCall& call);
  FakeReply token(FakeService& service, const FakeCall& call);
  std::optional<FakeReply> checkGrant(FakeService& service, const FakeCall& call);
  FakeReply pairAnswer(const FakeTokenPair& pair);
};

FakeReply FakeAuthEndpoints::State::passport(const FakeCall& call) {
  const std::string name = call.param("account").value_or(call.param("source").value_or(""));
  std::lock_guard guard(lock);
  const auto found = domains.find(name);
  if (found == domains.end()) return FakeReply::json({{"known", false}});
  return FakeReply::json({{"domain", found->second}});
}

FakeReply FakeAuthEndpoints::State::entgrant(const FakeCall& call) {
  const auto decoded = base64Decode(call.param("ticket").value_or(""));
  std::lock_guard guard(lock);
  lastTicket = decoded;
  const auto secret = secrets.find(call.param("client_id").value_or(""));
  if (!decoded || secret == secrets.end() || call.param("format") != "json") {
    return FakeReply::error(400, kBadTicket, "bad ticket");
  }
  const auto ticket = nlohmann::json::parse(*decoded, nullptr, false);
  if (!ticket.is_object() || ticket.size() != 4 || !ticket["account"].is_string() ||
      !ticket["n"].is_string() || !ticket["t"].is_number_integer() || !ticket["sign"].is_string() ||
      !sixLowerLetters(ticket["n"].get<std::string>())) {
    return FakeReply::error(400, kBadTicket, "bad ticket");
  }
  const std::string signedText = ticket["account"].get<std::string>() + "\n" +
                                 ticket["n"].get<std::string>() + "\n" +
                                 std::to_string(ticket["t"].get<int64_t>());
  if (ticket["sign"] != fakesig::hmacSha1Base64(secret->second, signedText)) {
    return FakeReply::error(400, kBadTicket, "bad ticket signature");
  }
  const std::string key = "nbkey-" + std::to_string(keys.size() + 1);
  keys.push_back(key);
  liveKeys[key] = true;
  return FakeReply::json({{"nbkey", key}});
}

FakeReply FakeAuthEndpoints::State::pairAnswer(const FakeTokenPair& pair) {
  nlohmann::json body{{"access_token", pair.accessToken},
                      {"refresh_token", pair.refreshToken},
                      {"expires_in", 7200},
                      {"dateline", 1700000000}};
  std::lock_guard guard(lock);
  if (!apiHost.empty()) body["api_host"] = apiHost;
  return FakeReply::json(body);
}

// A refusal for the grant of `call`, or nothing when it is good (a one-time
// key is used up by this check).
std::optional<FakeReply> FakeAuthEndpoints::State::checkGrant(FakeService&, const FakeCall& call) {
  const std::string grant = call.param("grant_type").value_or("");
  std::lock_guard guard(lock);
  if (grant == "password") {
    const auto account = accounts.find(call.param("username").value_or(""));
    if (account == accounts.end() || account->second != call.param("password")) {
      return oauthError("invalid_grant", "wrong user name or password");
    }
    return std::nullopt;
  }
  if (grant == "nbkey") {
    const auto key = liveKeys.find(call.param("nbkey").value_or(""));
    if (key == liveKeys.end() || !key->second) return oauthError("invalid_grant", "key used or unknown");
    key->second = false;
    return std::nullopt;
  }
  return oauthError("unsupported_grant_type", grant);
}

FakeReply FakeAuthEndpoints::State::token(FakeService& service, const FakeCall& call) {
  {
    std::lock_guard guard(lock);
    if (!refusals.empty()) {
      const Refusal refusal = refusals.front();
      refusals.erase(refusals.begin());
      return oauthError(refusal.error, refusal.description, refusal.code);
    }
  }
  if (call.param("client_id") != kClientId) return oauthError("invalid_client", "unknown client");
  if (!call.param("info") || !call.param("device") || !call.param("dateline")) {
    return oauthError("invalid_request", "info, device and dateline are required");
  }
  if (call.param("grant_type") == "refresh_token") {
    const auto pair = service.tokens().refresh(call.param("refresh_token").value_or(""));
    if (!pair) return oauthError("invalid_grant", "refresh token refused");
    return pairAnswer(*pair);
  }
  if (auto refusal = checkGrant(service, call)) return *refusal;
  return pairAnswer(service.tokens().issue());
}

FakeAuthEndpoints::FakeAuthEndpoints(FakeService& service, const std::string& apiPrefix)
    : state_(std::make_shared<State>()) {
  const FakeEndpointRules open{.isSigned = false, .needsToken = false};
  const FakeEndpointRules signedOnly{.isSigned = true, .needsToken = false};
  auto state = state_;
  service.on("POST", "/account/client-login", [state](const FakeCall& call) { return state->passport(call); },
             open);
  service.on("GET", "/account/autologin/entgrant",
             [state](const FakeCall& call) { return state->entgrant(call); }, open);
  service.on("POST", apiPrefix + "/oauth2/token2",
             [state, &service](const FakeCall& call) { return state->token(service, call); }, signedOnly);
  service.on("GET", apiPrefix + "/1/config/source", [state](const FakeCall& call) {
    std::lock_guard guard(state->lock);
    const auto found = state->configs.find(call.param("source").value_or(""));
    if (found == state->configs.end() || call.param("client_id") != kClientId) {
      return FakeReply::error(404, 40400, "no such source");
    }
    return FakeReply::text(found->second);
  }, signedOnly);
  service.on("POST", apiPrefix + "/1/account/activate_refresh", [state](const FakeCall& call) {
    std::lock_guard guard(state->lock);
    state->activated.push_back(call.param("refresh_token").value_or(""));
    return FakeReply::json({{"ok", true}});
  });
  service.on("GET", "/update/app", [state](const FakeCall&) {
    std::lock_guard guard(state->lock);
    if (state->update.empty()) return FakeReply::error(404, 40400, "no update");
    return FakeReply::text(state->update);
  }, open);
}

void FakeAuthEndpoints::addAccount(const std::string& username, const std::string& password) {
  std::lock_guard guard(state_->lock);
  state_->accounts[username] = password;
}

void FakeAuthEndpoints::setDomain(const std::string& accountOrSource, const std::string& domain) {
  std::lock_guard guard(state_->lock);
  state_->domains[accountOrSource] = domain;
}

void FakeAuthEndpoints::setApiHost(const std::string& apiHost) {
  std::lock_guard guard(state_->lock);
  state_->apiHost = apiHost;
}

void FakeAuthEndpoints::refuseTokens(const std::string& error, const std::string& description,
                                     int errorCode, int times) {
  std::lock_guard guard(state_->lock);
  for (int i = 0; i < times; ++i) state_->refusals.push_back({error, description, errorCode});
}

void FakeAuthEndpoints::addGrantClient(const std::string& clientId, const std::string& secret) {
  std::lock_guard guard(state_->lock);
  state_->secrets[clientId] = secret;
}

void FakeAuthEndpoints::setConfigAnswer(const std::string& source, const std::string& answer) {
  std::lock_guard guard(state_->lock);
  state_->configs[source] = answer;
}

void FakeAuthEndpoints::setUpdateAnswer(const std::string& body) {
  std::lock_guard guard(state_->lock);
  state_->update = body;
}

std::vector<std::string> FakeAuthEndpoints::grantedKeys() const {
  std::lock_guard guard(state_->lock);
  return state_->keys;
}

std::vector<std::string> FakeAuthEndpoints::activatedRefreshTokens() const {
  std::lock_guard guard(state_->lock);
  return state_->activated;
}

std::optional<std::string> FakeAuthEndpoints::lastTicketJson() const {
  std::lock_guard guard(state_->lock);
  return state_->lastTicket;
}

}  // namespace nb::test
