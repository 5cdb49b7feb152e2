#pragma once
// The web API client's shared call pattern: ordered parameter lists, their
// signature and form encoding, and the reading of the service marker.
// Stateless; every operation runs on the caller's thread, from any thread.

#include <cstdint>
#include <string>

#include "api/NBHTTPRequest.h"
#include "api/SignKey.h"

namespace nb {

class HTTPEngine {
 public:
  HTTPEngine() = delete;

  // --- Parameter lists ------------------------------------------------------
  static void addValueForString(SignKeyList& list, std::string key, std::string value);
  static void addValueForInteger(SignKeyList& list, std::string key, int64_t value);
  static void addValueForULongLong(SignKeyList& list, std::string key, uint64_t value);

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
};

}  // namespace nb
