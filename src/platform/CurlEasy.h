#pragma once
// A thin RAII layer over one libcurl easy handle. curl only moves bytes here:
// it follows no redirect, decodes no content encoding, keeps no cookies, takes
// no proxy from the environment and verifies server certificates unless the
// caller turns that off. Every policy above that belongs to the callers.

#include <chrono>
#include <string>
#include <vector>

#include "platform/HttpHeaders.h"

using CURL = void;
struct curl_slist;

namespace nb::platform {

// How a TLS server is checked.
struct TlsOptions {
  // PEM file of the certificates to trust instead of the system's CA store;
  // empty means the system store.
  std::string caFile;
  // No check of the certificate chain or the host name at all. Only for a
  // deployment that says so explicitly.
  bool insecure = false;
};

// One request as it goes out.
struct CurlExchange {
  std::string url;     // absolute, "http" or "https" only
  std::string method;  // "GET", "POST", "PUT", ...; empty means GET
  // Sent as given and in this order. curl adds only Host and "Accept: */*";
  // it adds no Content-Type, no Expect and no User-Agent of its own.
  HttpHeaders headers;
  std::string body;  // empty: none
  // The exchange fails when connecting takes longer than this, or when no
  // byte moves in either direction for this long (as an idle time-out).
  std::chrono::seconds timeout{60};
  TlsOptions tls;
  // "scheme://host:port" of a proxy the caller chose; empty means none,
  // whatever the environment variables say.
  std::string proxy;
  // "host:port:connect-host:connect-port" routes, for tests that must send
  // one name's HTTP and HTTPS to different loopback servers. Empty: none.
  std::vector<std::string> connectTo;
};

// Why no answer came, as far as a caller's policy needs to know.
enum class TransportFailure {
  None,     // an answer came
  Connect,  // no connection: name not found, refused, unreachable, no TCP within the time-out
  Tls,      // connected, but the TLS handshake or the server's certificate failed
  Timeout,  // connected, then the answer stalled
  Other,    // anything else (connection lost, out of memory, ...)
};

// What came back. `answered` is false when no complete answer arrived
// (refused, time-out, connection lost, certificate refused); then status is 0,
// headers and body are empty and `error` holds curl's explanation.
struct CurlResult {
  bool answered = false;
  TransportFailure failure = TransportFailure::None;
  long status = 0;
  HttpHeaders headers;  // of the final answer (not of "100 Continue")
  std::string body;     // as it came, not decoded
  std::string error;
};

// Owns one curl_slist.
class CurlHeaderList {
 public:
  CurlHeaderList() = default;
  ~CurlHeaderList();
  CurlHeaderList(const CurlHeaderList&) = delete;
  CurlHeaderList& operator=(const CurlHeaderList&) = delete;

  // Appends one raw "Name: value" line; false when curl is out of memory.
  bool append(const std::string& line);
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Owns one easy handle. A handle belongs to one thread at a time; many
// handles may run on many threads at once.
class CurlEasy {
 public:
  CurlEasy();
  ~CurlEasy();
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;

  // The calling thread's own handle, made on first use and kept for the
  // thread's life: a thread that sends request after request saves making
  // and tearing down a handle (and curl's own poll set and wake-up socket
  // pair) for each. Its exchanges are independent all the same.
  static CurlEasy& forCurrentThread();

  // False when curl could not make a handle (out of memory).
  bool valid() const { return handle_ != nullptr; }
  // For callers that need options beyond perform(); still owned here.
  CURL* handle() const { return handle_; }

  // Runs one exchange synchronously on the calling thread. The handle is reset
  // first, so nothing of an earlier exchange carries over.
  CurlResult perform(const CurlExchange& exchange);

 private:
  CURL* handle_ = nullptr;
};

}  // namespace nb::platform
