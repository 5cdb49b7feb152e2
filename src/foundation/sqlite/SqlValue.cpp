#include "foundation/sqlite/SqlValue.h"

#include <sqlcipher/sqlite3.h>

namespace nb {

int bindSqlValue(sqlite3_stmt* statement, int index, const SqlValue& value) {
  struct Binder {
    sqlite3_stmt* st;
    int i;
    int operator()(SqlNull) const { return sqlite3_bind_null(st, i); }
    int operator()(int64_t v) const { return sqlite3_bind_int64(st, i, v); }
    int operator()(double v) const { return sqlite3_bind_double(st, i, v); }
    int operator()(const std::string& v) const {
      return sqlite3_bind_text(st, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    int operator()(const SqlBlob& v) const {
      // A null pointer would bind NULL; an empty blob stays a zero-length blob.
      static const uint8_t kEmpty = 0;
      return sqlite3_bind_blob(st, i, v.empty() ? &kEmpty : v.data(),
                               static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
  };
  return std::visit(Binder{statement, index}, value.storage());
}

}  // namespace nb
