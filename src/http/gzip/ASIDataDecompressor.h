#pragma once
// Inflating gzip (or zlib) data with zlib: a whole buffer, a stream fed
// chunk by chunk, or one file into another. Output is capped process-wide
// (maxInflatedSize) so that a small hostile body cannot inflate to gigabytes;
// going past the cap is an error like zlib's out-of-memory status.
//
// Every error is of the library's domain with code 11.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/request/ASIError.h"

namespace nb::http {

class ASIDataDecompressor {
 public:
  // Set up at once; a set-up failure leaves it not ready, and its chunk
  // calls then fail with zlib's status.
  ASIDataDecompressor();
  ~ASIDataDecompressor();
  ASIDataDecompressor(const ASIDataDecompressor&) = delete;
  ASIDataDecompressor& operator=(const ASIDataDecompressor&) = delete;

  ASIErrorPtr setupStream();
  ASIErrorPtr closeStream();
  bool streamReady() const { return streamReady_; }

  // Inflates one more chunk; nothing (and `error` set when given) on a
  // failure; nothing without error for an empty chunk. Input after the end
  // of the first gzip member is ignored; a stream cut short gives what it
  // held so far.
  std::optional<std::string> uncompressBytes(std::string_view bytes, ASIErrorPtr* error = nullptr);

  static std::optional<std::string> uncompressData(std::string_view bytes,
                                                   ASIErrorPtr* error = nullptr);
  static bool uncompressDataFromFile(const std::string& source, const std::string& destination,
                                     ASIErrorPtr* error = nullptr);
  static ASIErrorPtr inflateErrorWithCode(int status);

  // Inflated bytes allowed per stream, for the whole process; 1 GiB at start.
  static uint64_t maxInflatedSize();
  static void setMaxInflatedSize(uint64_t bytes);

 private:
  z_stream zStream_{};
  bool streamReady_ = false;
  bool ended_ = false;       // the gzip member ended; further input is ignored
  uint64_t produced_ = 0;    // bytes inflated by this stream so far
};

class ASIDataCompressor {
 public:
  ASIDataCompressor();
  ~ASIDataCompressor();
  ASIDataCompressor(const ASIDataCompressor&) = delete;
  ASIDataCompressor& operator=(const ASIDataCompressor&) = delete;

  ASIErrorPtr setupStream();
  ASIErrorPtr closeStream();
  bool streamReady() const { return streamReady_; }

  // Deflates one more chunk into the gzip format; `shouldFinish` ends the
  // stream with this chunk.
  std::optional<std::string> compressBytes(std::string_view bytes, bool shouldFinish,
                                           ASIErrorPtr* error = nullptr);

  static std::optional<std::string> compressData(std::string_view bytes,
                                                 ASIErrorPtr* error = nullptr);
  static bool compressDataFromFile(const std::string& source, const std::string& destination,
                                   ASIErrorPtr* error = nullptr);
  static ASIErrorPtr deflateErrorWithCode(int status);

 private:
  z_stream zStream_{};
  bool streamReady_ = false;
};

}  // namespace nb::http
