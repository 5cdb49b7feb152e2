#include "platform/HttpHeaders.h"

#include <algorithm>

namespace nb::platform {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool headerNameEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

HttpHeaders::HttpHeaders(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) set(name, value);
}

void HttpHeaders::set(std::string_view name, std::string value) {
  for (auto& field : fields_) {
    if (headerNameEquals(field.first, name)) {
      field.second = std::move(value);
      return;
    }
  }
  fields_.emplace_back(std::string(name), std::move(value));
}

void HttpHeaders::add(std::string_view name, std::string value) {
  for (auto& field : fields_) {
    if (headerNameEquals(field.first, name)) {
      field.second += ", " + value;
      return;
    }
  }
  fields_.emplace_back(std::string(name), std::move(value));
}

void HttpHeaders::remove(std::string_view name) {
  std::erase_if(fields_, [&](const Field& field) { return headerNameEquals(field.first, name); });
}

std::optional<std::string> HttpHeaders::find(std::string_view name) const {
  for (const auto& field : fields_) {
    if (headerNameEquals(field.first, name)) return field.second;
  }
  return std::nullopt;
}

}  // namespace nb::platform
