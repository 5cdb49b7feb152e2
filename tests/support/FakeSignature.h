#pragma once
// The fake service's own reading of the request signature, written apart from
// the client's so that a fault in the client's signing cannot hide itself:
// the signed parameters sorted by name in byte order, their raw values joined
// with "\n", HMAC-SHA1 with the service key, Base64, then URL-encoded.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nb::test {

using FakeParams = std::vector<std::pair<std::string, std::string>>;

namespace fakesig {

inline constexpr std::string_view kServiceKey = "Qm4dLr8ZtW2xKp6VbN0cHs5YjEa";

// Percent-encodes every byte but ASCII letters, digits, "-", "_" and "~",
// with upper-case hex digits.
std::string urlEncode(std::string_view text);

// Decodes "%XX" and turns "+" into a space, as a form reader does. A broken
// escape stays as it is.
std::string urlDecode(std::string_view text);

// "a=1&b=2" into its pairs in wire order, values decoded once.
FakeParams parseForm(std::string_view form);

// The Base64 of HMAC-SHA1(key, text).
std::string hmacSha1Base64(std::string_view key, std::string_view text);

// The "sign" value (URL-encoded, as it is once the form is decoded) for the
// given parameters, skipping "sign" itself and `unsignedNames`.
std::string expectedSign(const FakeParams& params, const std::vector<std::string>& unsignedNames);

// Checks that "sign" is present, that only `unsignedNames` follow it, and that
// its value is expectedSign(). On failure `why` says what was wrong.
bool verify(const FakeParams& params, const std::vector<std::string>& unsignedNames,
            std::string& why);

}  // namespace fakesig
}  // namespace nb::test
