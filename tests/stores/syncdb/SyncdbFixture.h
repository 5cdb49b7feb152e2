#pragma once
// A fresh sync store in a temporary folder, with helpers that lay out rows
// and read back what tests compare.

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "stores/syncdb/Syncdb.h"
#include "support/TempHome.h"

namespace nb::test {

class SyncdbFixture : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    std::filesystem::create_directories(root() / "1");
    db = Syncdb::initpath(path());
    ASSERT_TRUE(db);
  }
  void TearDown() override {
    db.reset();
    TempHome::TearDown();
  }

  std::string path() const { return (root() / "1" / "vesyncdbex3.db").string(); }

  // Adds a row; the parent id is looked up from the path's folder part.
  int64_t add(const std::string& webPath, bool dir, int64_t status = 3, uint64_t size = 0) {
    SyncFileItem item;
    item.strWebPath = webPath;
    item.bDir = dir;
    item.nStatus = status;
    item.ullFileSize = size;
    const auto slash = webPath.rfind('/');
    item.nUpID = slash == std::string::npos ? 0 : db->getID(webPath.substr(0, slash));
    return db->add_new_file(item);
  }

  // Paths of the rows whose status is `status`, in path order (binary).
  std::set<std::string> pathsWithStatus(int64_t status) {
    std::set<std::string> out;
    db->inDatabase([&](FMDatabase& c) {
      auto set = c.executeQuery("select path from SYNC where status=?", {status});
      while (set && set->next()) out.insert(set->stringForColumnIndex(0).value_or(""));
    });
    return out;
  }
  std::set<std::string> allPaths() {
    std::set<std::string> out;
    db->inDatabase([&](FMDatabase& c) {
      auto set = c.executeQuery("select path from SYNC");
      while (set && set->next()) out.insert(set->stringForColumnIndex(0).value_or(""));
    });
    return out;
  }
  int64_t scalar(const std::string& sql, const SqlArgs& args = {}) {
    int64_t v = 0;
    db->inDatabase([&](FMDatabase& c) { v = longForQuery(c, sql, args); });
    return v;
  }
  void exec(const std::string& sql, const SqlArgs& args = {}) {
    db->inDatabase([&](FMDatabase& c) { ASSERT_TRUE(c.executeUpdate(sql, args)) << sql; });
  }

  static std::vector<std::string> paths(const std::vector<SyncFileItem>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) out.push_back(item.strWebPath);
    return out;
  }

  std::unique_ptr<Syncdb> db;
};

}  // namespace nb::test
