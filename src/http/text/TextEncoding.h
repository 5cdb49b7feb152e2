#pragma once
// Text encodings named by number, as responses and requests carry them, with
// ICU converters underneath. The common ones have fixed numbers
// (ASIStringEncoding); any other charset ICU knows gets a number of its own
// for the life of the process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nb::http {

// The encoding of an IANA charset name; nothing when ICU knows no such name.
std::optional<uint64_t> encodingForIANACharSetName(std::string_view name);

// Each byte read as one ISO 8859-1 character, written as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// `bytes` in `encoding` as UTF-8; nothing when they are not valid in it or
// the encoding is unknown.
std::optional<std::string> decodeText(std::string_view bytes, uint64_t encoding);

// UTF-8 `text` written in `encoding`; nothing when a character has no form
// in it or the encoding is unknown.
std::optional<std::string> encodeText(std::string_view text, uint64_t encoding);

// The IANA charset name of `encoding`, in lower case ("utf-8"); nothing for
// an unknown encoding.
std::optional<std::string> IANACharSetNameOfEncoding(uint64_t encoding);

}  // namespace nb::http
