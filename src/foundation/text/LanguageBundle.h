#pragma once
// One language's table of user-visible texts, read from the JSON object file
// lang/<language>.json of the program's data folder. Keys are the Chinese
// texts the program was written with; values the texts to show.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <map>

namespace nb {

class LanguageBundle {
 public:
  // The table of a page language code ("en-us", "zh-tw", "zh-cn"; anything
  // else reads as "en-us"), loaded from the install data folder on first use
  // and kept for the process. A missing or broken file gives an empty table.
  // Thread-safe.
  static std::shared_ptr<const LanguageBundle> forLanguage(std::string_view code);

  // A table read from the given file; empty when it is missing, not a JSON
  // object, or when members are not texts (those members are skipped).
  static std::shared_ptr<const LanguageBundle> fromFile(const std::filesystem::path& file);

  // The file name (without folder) that holds a language code's table.
  static std::string fileNameFor(std::string_view code);

  // The key's text; nothing when the table has none.
  std::optional<std::string> lookup(std::string_view key) const;

  std::size_t size() const { return texts_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

}  // namespace nb
