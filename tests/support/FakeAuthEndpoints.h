#pragma once
// The fake service's sign-in side: the passport ("/account/client-login"),
// the enterprise grant ("/account/autologin/entgrant"), the deployment
// configuration ("/1/config/source"), the token endpoint ("/oauth2/token2":
// password, one-time key and refresh grants, refresh rotation, OAuth
// refusals), the refresh activation and the update check ("/update/app").
//
//   FakeService service;
//   FakeAuthEndpoints auth(service);
//   auth.addAccount("ann", "secret");
//
// The endpoints keep their state in this object's shared state, so they stay
// valid after it goes. Every member is safe from the test thread while
// requests are served.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeService.h"

namespace nb::test {

class FakeAuthEndpoints {
 public:
  static constexpr int kBadTicket = 40010;  // "error_code" of a refused ticket

  // Registers every endpoint above on `service`, replacing earlier ones. The
  // API endpoints (token, configuration, activation) stand under `apiPrefix`
  // ("/m-api" when the service plays a server host that the passport named).
  explicit FakeAuthEndpoints(FakeService& service, const std::string& apiPrefix = "");

  // Password sign-in accepts these.
  void addAccount(const std::string& username, const std::string& password);
  // The passport's "domain" for an account or a source; unknown names get a
  // 200 object without "domain".
  void setDomain(const std::string& accountOrSource, const std::string& domain);
  // "api_host" of every successful token answer; "" leaves it out.
  void setApiHost(const std::string& apiHost);
  // The next `times` token requests are refused with 400 and this OAuth
  // error (plus "error_code" when not 0).
  void refuseTokens(const std::string& error, const std::string& description, int errorCode = 0,
                    int times = 1);
  // The enterprise grant accepts tickets signed with `secret` for `clientId`.
  void addGrantClient(const std::string& clientId, const std::string& secret);
  // The whole answer of the configuration call for `source`, sent as it is;
  // unknown sources get 404.
  void setConfigAnswer(const std::string& source, const std::string& answer);
  // The update check's body for any version; "" answers 404.
  void setUpdateAnswer(const std::string& body);

  // One-time keys handed out by the grant, in order.
  std::vector<std::string> grantedKeys() const;
  // Refresh tokens announced through the activation, in order.
  std::vector<std::string> activatedRefreshTokens() const;
  // The ticket of the last grant request, decoded (Base64, then JSON).
  std::optional<std::string> lastTicketJson() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace nb::test
