#pragma once
// The "pinyinasc" / "pinyindesc" collations of every connection: ICU's
// Chinese (zh_CN) collator, which orders Chinese characters by pinyin, with
// digit runs compared as numbers ("a2" before "a10") and case kept apart.

#include <memory>
#include <string_view>

struct sqlite3;
struct UCollator;

namespace nb {

class PinyinCollator {
 public:
  PinyinCollator();
  ~PinyinCollator();
  PinyinCollator(const PinyinCollator&) = delete;
  PinyinCollator& operator=(const PinyinCollator&) = delete;

  // False when ICU could not make the collator; compare then orders by bytes.
  bool valid() const { return collator_ != nullptr; }

  // -1, 0 or 1. Ill-formed UTF-8 compares as if each bad byte were U+FFFD.
  int compare(std::string_view a, std::string_view b) const;

  // Registers both collations on `db`; the collator must outlive the handle's
  // use of them. Not thread-safe on one collator: one per connection.
  bool registerOn(sqlite3* db);

 private:
  UCollator* collator_ = nullptr;  // owned
};

}  // namespace nb
