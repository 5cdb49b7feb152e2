#pragma once
// A catalogue store on a fresh file in a temporary home, with helpers that
// look at the file through plain SQL.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/FMResultSet.h"
#include "stores/catalogue/Mountsdb.h"
#include "support/TempHome.h"

namespace nb::test {

class MountsdbFixture : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    store = std::make_unique<Mountsdb>();
    store->setPath(path());
  }
  void TearDown() override {
    store.reset();
    TempHome::TearDown();
  }

  std::string path() const { return (root() / "vemountex3.db").string(); }

  // A new store object on the same file, as the next sign-in makes it.
  void reopen() {
    store = std::make_unique<Mountsdb>();
    store->setPath(path());
  }

  // Runs a statement on the store's own connection.
  bool exec(const std::string& sql, const SqlArgs& args = {}) {
    bool ok = false;
    store->inDatabase([&](FMDatabase& db) { ok = db.executeUpdate(sql, args); });
    return ok;
  }

  // Every row of `sql` as its columns joined with "|" (NULL as "<null>").
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    store->inDatabase([&](FMDatabase& db) {
      auto set = db.executeQuery(sql);
      while (set && set->next()) {
        std::string row;
        for (int i = 0; i < set->columnCount(); ++i) {
          if (i > 0) row += "|";
          row += set->stringForColumnIndex(i).value_or("<null>");
        }
        out.push_back(row);
      }
    });
    return out;
  }

  // The declared type of a column, or "<none>" when the table has no such
  // column.
  std::string columnType(const std::string& table, const std::string& column) {
    std::string type = "<none>";
    store->inDatabase([&](FMDatabase& db) {
      auto set = getTableSchema(db, table);
      while (set && set->next()) {
        if (set->stringForColumn("name") != column) continue;
        type = set->stringForColumn("type").value_or("");
      }
    });
    return type;
  }

  std::unique_ptr<Mountsdb> store;
};

}  // namespace nb::test
