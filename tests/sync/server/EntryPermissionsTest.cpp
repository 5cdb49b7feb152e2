// The signed-in user's rights on single entries: the nearest row with a
// permission list decides, else the library's bits.
#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

class EntryPermissionsTest : public test::LocalWorld {
 protected:
  void withProperty(const std::string& webpath, const std::string& property, bool dir) {
    stored(webpath, SyncStatus::kSynced, dir);
    m_->syncdb().update_property(webpath, property);
  }
};

TEST_F(EntryPermissionsTest, NearestListDecidesThenTheLibrary) {
  m_->nPermissions = Permission::kFileRead | Permission::kFileWrite;
  withProperty("docs/open", R"({"permisson":["file_upload","file_delete"]})", true);
  withProperty("docs/open/closed", R"({"permisson":[]})", true);
  withProperty("docs/open/closed/free.txt", R"({"other":1})", false);
  withProperty("docs/open/broken.txt", "not json", false);

  const struct {
    const char* path;
    bool read, write, upload, remove;
  } cases[] = {
      {"docs/top.txt", true, true, false, false},             // no rows: library bits
      {"docs/open/a.txt", false, false, true, true},          // the folder's list
      {"docs/open/broken.txt", false, false, true, true},     // unreadable: the folder decides
      {"docs/open/closed/free.txt", false, false, false, false},  // an empty list refuses all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(m_->getFilePropertyForRead(c.path), c.read);
    EXPECT_EQ(m_->getFilePropertyForWrite(c.path), c.write);
    EXPECT_EQ(m_->getFilePropertyForUpload(c.path), c.upload);
    EXPECT_EQ(m_->getFilePropertyForDelete(c.path), c.remove);
  }

  // "file_sync" on the library grants everything.
  m_->nPermissions = Permission::kFileSync;
  EXPECT_TRUE(m_->getFilePropertyForWrite("docs/open/closed/free.txt"));
  EXPECT_TRUE(m_->getFilePropertyForDelete("docs/open/closed/free.txt"));
}

}  // namespace
}  // namespace nb
