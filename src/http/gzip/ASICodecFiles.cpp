// The file forms of both codecs: 262,144-byte pieces from one file into
// another, so memory stays bounded whatever the file size.

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "http/gzip/ASIDataDecompressor.h"

namespace nb::http {

namespace {

constexpr size_t kPiece = 262'144;

using Step = std::function<std::optional<std::string>(std::string_view, bool last, ASIErrorPtr*)>;

ASIErrorPtr fileError(std::string text) {
  return ASIError::make(ASICompressionError, std::move(text));
}

// `verb` is "Decompression" or "Compression".
bool convertFile(const char* verb, const std::string& source, const std::string& destination,
                 const Step& step, ASIErrorPtr* error) {
  auto fail = [&](ASIErrorPtr made) {
    if (error != nullptr) *error = std::move(made);
    return false;
  };
  std::ofstream out(destination, std::ios::binary | std::ios::trunc);
  if (!out) {
    return fail(fileError(fmt::format("{} of {} failed because we were to create a file at {}",
                                      verb, source, destination)));
  }
  std::error_code ignored;
  if (!std::filesystem::exists(source, ignored)) {
    return fail(fileError(fmt::format("{} of {} failed the file does not exist", verb, source)));
  }
  std::ifstream in(source, std::ios::binary);
  const uint64_t size = std::filesystem::file_size(source, ignored);
  uint64_t readSoFar = 0;
  std::string piece(kPiece, '\0');
  for (;;) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    if (in.bad()) {
      return fail(fileError(fmt::format(
          "{} of {} failed because we were unable to read from the source data file", verb,
          source)));
    }
    const auto got = static_cast<size_t>(in.gcount());
    readSoFar += got;
    const bool last = got < kPiece || readSoFar >= size;
    if (got == 0 && !last) break;
    ASIErrorPtr stepError;
    const auto produced = step(std::string_view(piece.data(), got), last, &stepError);
    if (stepError) return fail(stepError);
    if (produced && !out.write(produced->data(), static_cast<std::streamsize>(produced->size()))) {
      return fail(fileError(fmt::format(
          "{} of {} failed because we were unable to write to the destination data file at {}",
          verb, source, destination)));
    }
    if (last) break;
  }
  out.close();
  return out.good() || fail(fileError(fmt::format(
                           "{} of {} failed because we were unable to write to the destination "
                           "data file at {}", verb, source, destination)));
}

}  // namespace

bool ASIDataDecompressor::uncompressDataFromFile(const std::string& source,
                                                 const std::string& destination,
                                                 ASIErrorPtr* error) {
  ASIDataDecompressor codec;
  return convertFile("Decompression", source, destination,
                     [&](std::string_view bytes, bool, ASIErrorPtr* stepError) {
                       return codec.uncompressBytes(bytes, stepError);
                     },
                     error);
}

bool ASIDataCompressor::compressDataFromFile(const std::string& source,
                                             const std::string& destination, ASIErrorPtr* error) {
  ASIDataCompressor codec;
  return convertFile("Compression", source, destination,
                     [&](std::string_view bytes, bool last, ASIErrorPtr* stepError) {
                       return codec.compressBytes(bytes, last, stepError);
                     },
                     error);
}

}  // namespace nb::http
