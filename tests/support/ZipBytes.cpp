#include "support/ZipBytes.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace nb::test {

std::string zipBytes(const ZipEntries& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) throw std::runtime_error("zip buffer");
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (archive == nullptr) {
    zip_source_free(buffer);
    throw std::runtime_error("zip open");
  }
  zip_source_keep(buffer);
  for (const auto& [name, bytes] : entries) {
    if (!name.empty() && name.back() == '/') {
      zip_dir_add(archive, name.c_str(), ZIP_FL_ENC_RAW);
      continue;
    }
    // libzip frees the copy when the archive is written.
    void* copy = std::malloc(bytes.size() + 1);
    std::memcpy(copy, bytes.data(), bytes.size());
    zip_source_t* source = zip_source_buffer(archive, copy, bytes.size(), 1);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW);
  }
  if (zip_close(archive) != 0) {
    zip_source_free(buffer);
    throw std::runtime_error("zip close");
  }
  std::string out;
  if (zip_source_open(buffer) == 0) {
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    out.resize(static_cast<std::size_t>(size));
    zip_source_read(buffer, out.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  return out;
}

}  // namespace nb::test
