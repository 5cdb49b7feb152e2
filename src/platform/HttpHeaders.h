#pragma once
// An ordered list of HTTP header fields whose names compare as HTTP names do,
// without regard to ASCII case. Order is kept because it is the order on the
// wire; setting a name that is already there replaces its value in place.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nb::platform {

// True when two header names are equal ignoring ASCII case.
bool headerNameEquals(std::string_view a, std::string_view b);

class HttpHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  HttpHeaders() = default;
  HttpHeaders(std::initializer_list<Field> fields);

  // Replaces the value of an existing field of that name (keeping its
  // position and the first spelling of the name), else appends.
  void set(std::string_view name, std::string value);

  // Appends a repeated field: a later find() answers the values joined with
  // ", ", which is how HTTP folds repeated fields.
  void add(std::string_view name, std::string value);

  void remove(std::string_view name);

  // The value of `name`, or nothing when the field is absent.
  std::optional<std::string> find(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name).has_value(); }

  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }
  std::size_t size() const { return fields_.size(); }

 private:
  std::vector<Field> fields_;
};

}  // namespace nb::platform
