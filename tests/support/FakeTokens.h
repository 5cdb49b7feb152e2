#pragma once
// The fake service's access and refresh tokens. Thread-safe: the server's
// handler threads and the test thread use it at once.

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace nb::test {

struct FakeTokenPair {
  std::string accessToken;
  std::string refreshToken;
};

class FakeTokens {
 public:
  enum class State { Live, Expired, Unknown };

  // A fresh, live pair.
  FakeTokenPair issue();
  // For a live refresh token: a fresh pair; the old access token expires and
  // the old refresh token is used up. Nothing for any other refresh token.
  std::optional<FakeTokenPair> refresh(const std::string& refreshToken);

  void expire(const std::string& accessToken);
  void expireAll();
  // Makes a refresh token unusable, as when the server signs a user out.
  void revokeRefresh(const std::string& refreshToken);

  State state(const std::string& accessToken) const;
  int issuedCount() const;

 private:
  FakeTokenPair issueLocked();

  mutable std::mutex lock_;
  std::map<std::string, bool> access_;  // GUARDED_BY(lock_): token -> live
  std::map<std::string, std::string> refresh_;  // GUARDED_BY(lock_): refresh -> access
  int issued_ = 0;  // GUARDED_BY(lock_)
};

}  // namespace nb::test
