#pragma once
// Small class utilities of the request library: Content-Type parsing, HTTP
// dates, cache expiry, MIME types by file extension.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "platform/HttpHeaders.h"

namespace nb::http {

// Splits a Content-Type value into its MIME type and, when it names a charset
// ICU knows, the encoding; what the text does not give stays untouched.
void parseMimeTypeAndResponseEncoding(std::optional<std::string>& mimeType, uint64_t& encoding,
                                      const std::string& contentType);

// An RFC 1123 date ("Sun, 06 Nov 1994 08:49:37 GMT", weekday and seconds
// optional) as seconds since 1970; nothing when it does not parse.
std::optional<std::time_t> dateFromRFC1123String(const std::string& text);

// When a response stops being fresh: now + maxAge when given, else the
// "Cache-Control" max-age, else "Expires"; nothing when neither says.
std::optional<std::time_t> expiryDateForResponse(const platform::HttpHeaders& headers,
                                                 double maxAge, std::time_t now);

// The MIME type for the file's extension, "application/octet-stream" when
// none is known, nothing when no file exists at `path`.
std::optional<std::string> mimeTypeForFileAtPath(const std::string& path);

}  // namespace nb::http
