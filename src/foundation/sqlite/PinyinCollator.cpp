#include "foundation/sqlite/PinyinCollator.h"

#include <sqlcipher/sqlite3.h>
#include <unicode/ucol.h>

#include <algorithm>
#include <cstring>

#include "platform/Log.h"

namespace nb {

namespace {

std::string_view viewOf(int len, const void* bytes) {
  return {static_cast<const char*>(bytes), static_cast<size_t>(std::max(len, 0))};
}

int ascending(void* self, int lenA, const void* a, int lenB, const void* b) {
  return static_cast<PinyinCollator*>(self)->compare(viewOf(lenA, a), viewOf(lenB, b));
}

int descending(void* self, int lenA, const void* a, int lenB, const void* b) {
  return static_cast<PinyinCollator*>(self)->compare(viewOf(lenB, b), viewOf(lenA, a));
}

}  // namespace

PinyinCollator::PinyinCollator() {
  UErrorCode status = U_ZERO_ERROR;
  collator_ = ucol_open("zh_CN", &status);
  if (U_FAILURE(status)) {
    NBSQLLOG("could not open the zh_CN collator: {}", u_errorName(status));
    if (collator_ != nullptr) ucol_close(collator_);
    collator_ = nullptr;
    return;
  }
  ucol_setAttribute(collator_, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
  ucol_setAttribute(collator_, UCOL_STRENGTH, UCOL_TERTIARY, &status);
}

PinyinCollator::~PinyinCollator() {
  if (collator_ != nullptr) ucol_close(collator_);
}

int PinyinCollator::compare(std::string_view a, std::string_view b) const {
  if (collator_ != nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        ucol_strcollUTF8(collator_, a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  }
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool PinyinCollator::registerOn(sqlite3* db) {
  return sqlite3_create_collation(db, "pinyinasc", SQLITE_UTF8, this, ascending) == SQLITE_OK &&
         sqlite3_create_collation(db, "pinyindesc", SQLITE_UTF8, this, descending) == SQLITE_OK;
}

}  // namespace nb
