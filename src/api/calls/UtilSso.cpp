#include "api/calls/UtilSso.h"

#include <openssl/rand.h>

#include <fmt/format.h>

#include "api/calls/HTTPEngine.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Clock.h"

namespace nb::Util {

namespace {

constexpr std::uint32_t kNonceRange = 65535;  // n takes 0..65534

std::uint32_t systemRandom() {
  std::uint32_t value = 0;
  // A failure leaves 0: the nonce only makes two URLs of one second differ.
  RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value);
  return value;
}

}  // namespace

std::string mixtureurl(std::string_view url, std::string_view webpath, std::string_view token) {
  return mixtureurl(url, webpath, token, systemRandom);
}

std::string mixtureurl(std::string_view url, std::string_view webpath, std::string_view token,
                       const RandomSource& random) {
  const std::uint32_t n = random() % kNonceRange;
  const auto t = static_cast<std::int64_t>(platform::nowSeconds());
  const SignKeyList list{{"url", std::string(url)},
                         {"token", std::string(token)},
                         {"t", std::to_string(t)},
                         {"n", std::to_string(n)}};
  const std::string s = HTTPEngine::getAuth(list);
  // The token is encoded too: a token holding "&" or "=" would otherwise cut
  // the query apart. Ordinary tokens are unchanged by it.
  const std::string query = fmt::format("url={}&token={}&t={}&n={}&s={}&hl={}", urlEncoded(url),
                                        urlEncoded(token), t, n, s,
                                        getAppDelegate()->languageWithWebUrlString());
  return fmt::format("{}/account/sso?{}", getDealWithHttpsOrHttpUrl(webpath), query);
}

}  // namespace nb::Util
