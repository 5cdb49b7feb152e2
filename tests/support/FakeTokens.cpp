#include "support/FakeTokens.h"

namespace nb::test {

FakeTokenPair FakeTokens::issue() {
  std::lock_guard guard(lock_);
  return issueLocked();
}

FakeTokenPair FakeTokens::issueLocked() {
  ++issued_;
  FakeTokenPair pair{"access-" + std::to_string(issued_), "refresh-" + std::to_string(issued_)};
  access_[pair.accessToken] = true;
  refresh_[pair.refreshToken] = pair.accessToken;
  return pair;
}

std::optional<FakeTokenPair> FakeTokens::refresh(const std::string& refreshToken) {
  std::lock_guard guard(lock_);
  const auto found = refresh_.find(refreshToken);
  if (found == refresh_.end()) return std::nullopt;
  access_[found->second] = false;
  refresh_.erase(found);
  return issueLocked();
}

void FakeTokens::expire(const std::string& accessToken) {
  std::lock_guard guard(lock_);
  if (const auto found = access_.find(accessToken); found != access_.end()) found->second = false;
}

void FakeTokens::expireAll() {
  std::lock_guard guard(lock_);
  for (auto& entry : access_) entry.second = false;
}

void FakeTokens::revokeRefresh(const std::string& refreshToken) {
  std::lock_guard guard(lock_);
  refresh_.erase(refreshToken);
}

FakeTokens::State FakeTokens::state(const std::string& accessToken) const {
  std::lock_guard guard(lock_);
  const auto found = access_.find(accessToken);
  if (found == access_.end()) return State::Unknown;
  return found->second ? State::Live : State::Expired;
}

int FakeTokens::issuedCount() const {
  std::lock_guard guard(lock_);
  return issued_;
}

}  // namespace nb::test
