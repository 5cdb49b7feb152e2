#pragma once
// The web API client's shared call pattern. Every endpoint operation builds
// its ordered parameter list, signs it, sends one request and reads the
// answer into a RequestRet (or a model derived from it); an expired token
// (40101 or 40102 on a non-200 answer) refreshes the token and repeats the
// call, at most three times. Stateless apart from the token-refresh hook;
// every operation runs on the caller's thread, from any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "api/NBHTTPRequest.h"
#include "api/RequestRet.h"
#include "api/RetEntGrantItem.h"
#include "api/RetPassport.h"
#include "api/RetToken.h"
#include "api/SignKey.h"

namespace nb {

class HTTPEngine {
 public:
  HTTPEngine() = delete;

  // --- Sign-in, token and configuration calls -------------------------------
  // (HTTPEngineSignIn.cpp, HTTPEngineToken.cpp)
  // None of these repeats after a token refresh. A token answer that names
  // an "api_host" moves every later call to that host.

  // The update host's answer for this client version, or nothing when it
  // did not answer 200 with a body. The scheme follows the user's own HTTPS
  // setting only.
  static std::optional<std::string> checkUpdates(const std::string& version);
  // The server host of an account or of a deployment source, asked of the
  // passport at `passportUrl` (with scheme).
  static RetPassport passportAccount(const std::string& passportUrl, const std::string& account);
  static RetPassport passportSource(const std::string& passportUrl, const std::string& source);
  // A one-time sign-in key for `account` from the credentials another local
  // program handed over; `hostUrl` has its scheme.
  static RetEntGrantItem getEntGrant(const std::string& hostUrl, const std::string& clientid,
                                     const std::string& secret, const std::string& account);
  // The deployment's configuration answer, put into `json` on a 200 with the
  // marker (then true); `json` is untouched otherwise.
  static bool getConfigSource(const std::string& source, const std::string& clientid,
                              std::string& json);
  // Password sign-in: HTTPS twice, then plain HTTP once unless HTTPS is
  // required. Stops at a 200 or at an OAuth refusal.
  static RetToken loginMore(const std::string& username, const std::string& password,
                            const std::string& info, const std::string& device);
  // One password sign-in at `baseUrl` (with scheme).
  static RetToken login(const std::string& username, const std::string& password,
                        const std::string& info, const std::string& device,
                        const std::string& baseUrl);
  // Sign-in with a one-time key (sent as "nbkey").
  static RetToken checkLogin(const std::string& nbkey, const std::string& info,
                             const std::string& device);
  // A fresh token pair for a refresh token; a refusal is final for this call.
  static RetToken refreshToken(const std::string& refreshToken, const std::string& info,
                               const std::string& device);
  // Tells the service the session took up its refresh token; status only.
  static RequestRet activateRefresh(const std::string& token, const std::string& refreshtoken);
  // `length` random letters a-z; "" for a length below 1.
  static std::string randStr(int length);

  // --- Parameter lists ------------------------------------------------------
  static void addValueForString(SignKeyList& list, std::string key, std::string value);
  static void addValueForInteger(SignKeyList& list, std::string key, int64_t value);
  static void addValueForULongLong(SignKeyList& list, std::string key, uint64_t value);
  // Appends token, mount_id, fullpath and machine (the session's device name).
  static void addNormalSignKey(SignKeyList& list, const std::string& token, int64_t mountid,
                               const std::string& path);

  // --- Signature and form ---------------------------------------------------
  // The parameters sorted by name (byte order, so "Name" before "name"),
  // their raw values joined with "\n", HMAC-SHA1 with the service key,
  // Base64, then URL-encoded. The list keeps its own order.
  static std::string getAuth(const SignKeyList& list);
  // The same keyed with `secret`, Base64 only (the enterprise-grant ticket).
  static std::string getAuth(const SignKeyList& list, const std::string& secret);
  // "name=urlEncoded(value)" joined by "&", in list order; names unencoded.
  static std::string getKeyByString(const SignKeyList& list);
  // The form's UTF-8 bytes, for POST bodies.
  static std::string getKeyByData(const SignKeyList& list);

  // --- Answers --------------------------------------------------------------
  // True when the answer carries "X-SERVER" (any case of the name) with the
  // value exactly "NUBREN".
  static bool checkResponseHeader(const NBHTTPResponse& response);
  // True when a call that met `errorCode` on a non-200 answer is to be
  // repeated after `reset` repeats: 40101..40102 and fewer than three so far.
  static bool checkError(int64_t errorCode, int reset);

  // --- The generic call -----------------------------------------------------
  struct Endpoint {
    std::string method = "POST";  // "GET" puts the form in the query
    std::string url;              // absolute, without query
    int timeout = NBHTTPRequest::kDefaultTimeout;  // seconds
    bool isSigned = true;     // append "sign" over the whole list
    bool checkMarker = true;  // false only where the endpoint checks none
    bool statusOnly = false;  // success reads no body
    bool repeats = true;      // repeat on 40101/40102 with a fresh token
  };
  // Builds the call's parameters (without "sign") for a token.
  using ParamsForToken = std::function<SignKeyList(const std::string& token)>;

  // Runs the pattern into a fresh Ret (RequestRet or a model derived from
  // it) and returns it; a repeat's result replaces the first one.
  template <class Ret>
  static Ret call(const Endpoint& endpoint, const std::string& token, const ParamsForToken& params,
                  int reset = 0) {
    Ret ret;
    const bool failedStatus = send(ret, endpoint, params(token));
    if (!failedStatus || !endpoint.repeats || !checkError(ret.nErrorCode(), reset)) return ret;
    return call<Ret>(endpoint, refreshToken(token), params, reset + 1);
  }

  // One request into `ret`, without the repeat. Answers true when the server
  // answered with a status other than 200 (or not at all).
  static bool send(RequestRet& ret, const Endpoint& endpoint, SignKeyList params);

  // "http(s)://" + the API host + `path`, the scheme by the HTTPS choice.
  static std::string apiUrl(std::string_view path);

  // --- Token refresh --------------------------------------------------------
  // Answers the access token that is current after a refresh (the old one
  // when the refresh failed). The session installs its refresh here; without
  // one the token comes back unchanged. Must be thread-safe.
  using TokenRefresher = std::function<std::string(const std::string& expiredToken)>;
  static void setTokenRefresher(TokenRefresher refresher);
  static std::string refreshToken(const std::string& expiredToken);
};

}  // namespace nb
