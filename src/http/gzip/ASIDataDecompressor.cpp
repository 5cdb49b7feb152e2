#include "http/gzip/ASIDataDecompressor.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>

namespace nb::http {

namespace {

constexpr int kGzipOrZlibWindow = 15 + 32;

std::atomic<uint64_t>& inflateCap() {
  static std::atomic<uint64_t> cap = 1ull << 30;
  return cap;
}

void give(ASIErrorPtr* place, ASIErrorPtr error) {
  if (place != nullptr) *place = std::move(error);
}

// Room for at least `step` more bytes, growing the container geometrically.
void makeRoom(std::string& out, size_t used, size_t step) {
  if (out.size() - used >= step) return;
  out.resize(std::max(out.size() * 2, used + step));
}

}  // namespace

ASIDataDecompressor::ASIDataDecompressor() { setupStream(); }

ASIDataDecompressor::~ASIDataDecompressor() { closeStream(); }

ASIErrorPtr ASIDataDecompressor::setupStream() {
  if (streamReady_) return nullptr;
  zStream_ = z_stream{};
  const int status = inflateInit2(&zStream_, kGzipOrZlibWindow);
  if (status != Z_OK) return inflateErrorWithCode(status);
  streamReady_ = true;
  ended_ = false;
  produced_ = 0;
  return nullptr;
}

ASIErrorPtr ASIDataDecompressor::closeStream() {
  if (!streamReady_) return nullptr;
  streamReady_ = false;
  const int status = inflateEnd(&zStream_);
  return status == Z_OK ? nullptr : inflateErrorWithCode(status);
}

std::optional<std::string> ASIDataDecompressor::uncompressBytes(std::string_view bytes,
                                                                ASIErrorPtr* error) {
  if (bytes.empty()) return std::nullopt;
  if (!streamReady_) {
    give(error, inflateErrorWithCode(Z_STREAM_ERROR));
    return std::nullopt;
  }
  if (ended_) return std::string();
  const size_t step = std::max<size_t>(1, bytes.size() / 2);
  std::string out(bytes.size() + bytes.size() / 2, '\0');
  size_t used = 0;
  zStream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zStream_.avail_in = static_cast<uInt>(bytes.size());
  for (;;) {
    makeRoom(out, used, step);
    zStream_.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zStream_.avail_out = static_cast<uInt>(out.size() - used);
    const int status = inflate(&zStream_, Z_NO_FLUSH);
    used = out.size() - zStream_.avail_out;
    if (produced_ + used > maxInflatedSize()) {
      give(error, inflateErrorWithCode(Z_MEM_ERROR));
      return std::nullopt;
    }
    if (status == Z_STREAM_END) {
      ended_ = true;
      break;
    }
    if (status != Z_OK) {
      give(error, inflateErrorWithCode(status));
      return std::nullopt;
    }
    // zlib may hold more output when it filled the room it was given.
    if (zStream_.avail_in == 0 && zStream_.avail_out != 0) break;
  }
  produced_ += used;
  out.resize(used);
  return out;
}

std::optional<std::string> ASIDataDecompressor::uncompressData(std::string_view bytes,
                                                               ASIErrorPtr* error) {
  ASIDataDecompressor decompressor;
  return decompressor.uncompressBytes(bytes, error);
}

ASIErrorPtr ASIDataDecompressor::inflateErrorWithCode(int status) {
  return ASIError::make(ASICompressionError,
                        fmt::format("Decompression of data failed with code {}", status));
}

uint64_t ASIDataDecompressor::maxInflatedSize() { return inflateCap().load(); }

void ASIDataDecompressor::setMaxInflatedSize(uint64_t bytes) { inflateCap().store(bytes); }

ASIDataCompressor::ASIDataCompressor() { setupStream(); }

ASIDataCompressor::~ASIDataCompressor() { closeStream(); }

ASIErrorPtr ASIDataCompressor::setupStream() {
  if (streamReady_) return nullptr;
  zStream_ = z_stream{};
  const int status =
      deflateInit2(&zStream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  if (status != Z_OK) return deflateErrorWithCode(status);
  streamReady_ = true;
  return nullptr;
}

ASIErrorPtr ASIDataCompressor::closeStream() {
  if (!streamReady_) return nullptr;
  streamReady_ = false;
  const int status = deflateEnd(&zStream_);
  // A stream ended before its finish reports Z_DATA_ERROR; nothing is lost then.
  return status == Z_OK || status == Z_DATA_ERROR ? nullptr : deflateErrorWithCode(status);
}

std::optional<std::string> ASIDataCompressor::compressBytes(std::string_view bytes,
                                                            bool shouldFinish, ASIErrorPtr* error) {
  if (bytes.empty() && !shouldFinish) return std::nullopt;
  if (!streamReady_) {
    give(error, deflateErrorWithCode(Z_STREAM_ERROR));
    return std::nullopt;
  }
  const size_t step = std::max<size_t>(64, bytes.size() / 2);
  std::string out(step, '\0');
  size_t used = 0;
  zStream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zStream_.avail_in = static_cast<uInt>(bytes.size());
  for (;;) {
    makeRoom(out, used, step);
    zStream_.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zStream_.avail_out = static_cast<uInt>(out.size() - used);
    const int status = deflate(&zStream_, shouldFinish ? Z_FINISH : Z_NO_FLUSH);
    used = out.size() - zStream_.avail_out;
    if (status == Z_STREAM_END) break;
    if (status != Z_OK && status != Z_BUF_ERROR) {
      give(error, deflateErrorWithCode(status));
      return std::nullopt;
    }
    if (zStream_.avail_out != 0 && zStream_.avail_in == 0 && !shouldFinish) break;
  }
  out.resize(used);
  return out;
}

std::optional<std::string> ASIDataCompressor::compressData(std::string_view bytes,
                                                           ASIErrorPtr* error) {
  ASIDataCompressor compressor;
  return compressor.compressBytes(bytes, true, error);
}

ASIErrorPtr ASIDataCompressor::deflateErrorWithCode(int status) {
  return ASIError::make(ASICompressionError,
                        fmt::format("Compression of data failed with code {}", status));
}

}  // namespace nb::http
