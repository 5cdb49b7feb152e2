#include "http/gzip/ASIDataDecompressor.h"

#include <zlib.h>

namespace nb::http {

std::optional<std::string> ASIDataDecompressor::uncompressData(std::string_view bytes) {
  z_stream stream{};
  // 15 + 32: a gzip or zlib header, detected.
  if (inflateInit2(&stream, 15 + 32) != Z_OK) return std::nullopt;
  std::string out;
  char buffer[65536];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace nb::http
