#pragma once
// The user's credential storage on the Secret Service (the desktop's
// keyring, through libsecret): one item per protection space, with the
// space's kind, host, port, protocol and realm and the user name as
// attributes and the password as the secret. Nothing is ever written to a
// file of our own. With no Secret Service reachable a lookup finds nothing
// and a save is dropped with a log line.

#include "http/auth/ASIAuthentication.h"

namespace nb::http {

class SecretServiceCredentialStorage final : public ASICredentialStorage {
 public:
  std::optional<ASICredentials> credentialsFor(const ASIProtectionSpace& space) override;
  void save(const ASIProtectionSpace& space, const ASICredentials& credentials) override;
  void remove(const ASIProtectionSpace& space) override;
};

}  // namespace nb::http
