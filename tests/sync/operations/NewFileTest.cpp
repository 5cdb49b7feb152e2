// New files and folders made by a page, against the fake service.
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/AppFolders.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/ErrorAnswer.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

using test::errorOf;

class NewFileTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    addServerFolder("docs");
    linkFolder("docs", "Docs");
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
  }

  // A template as the enterprise's template download leaves it.
  void putTemplate(const std::string& name, const std::string& bytes) {
    const fs::path folder = platform::templateFolder();
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
  }

  SyncFileItem row(const std::string& webpath) { return m_->syncdb().get_single_file(webpath); }

  std::shared_ptr<SyncManager> m_;
};

// Content the server already holds needs no upload: the entry is made at
// once from its hash.
TEST_F(NewFileTest, EmptyFileInALinkIsMadeLocallyAndOnTheServer) {
  drive_->putContent("");
  EXPECT_EQ(errorOf(m_->gNewFile("docs/new.txt", 0, "", "")), 0);
  ASSERT_TRUE(fs::is_regular_file(local("Docs/new.txt")));
  EXPECT_EQ(fs::file_size(local("Docs/new.txt")), 0U);
  EXPECT_EQ(Util::filemodifytime(local("Docs/new.txt").string()), clock().wallSeconds());
  const auto entry = tree().find("docs/new.txt");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->filehash, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(row("docs/new.txt").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(row("docs/new.txt").strUuidHash, entry->hash);
  EXPECT_TRUE(TransPortDB::shareTransPortDB().Get_Uploads(kMountId, "docs/new.txt").empty());
}

// Content the server lacks: the entry is named, and the content queued.
TEST_F(NewFileTest, NewContentIsQueuedForUploadAfterTheEntryIsNamed) {
  putTemplate("report.docx", "template bytes");
  EXPECT_EQ(errorOf(m_->gNewFile("docs/report.docx", 0, "", "report.docx")), 0);
  EXPECT_EQ(readLocal("Docs/report.docx"), "template bytes");
  const SyncFileItem made = row("docs/report.docx");
  EXPECT_EQ(made.strFileHash, sha1HexDigest("template bytes"));
  EXPECT_FALSE(made.strUuidHash.empty());
  EXPECT_FALSE(tree().find("docs/report.docx"));
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Uploads(kMountId, "docs/report.docx").size(), 1U);
}

TEST_F(NewFileTest, FolderInALinkIsMadeOnBothSides) {
  EXPECT_EQ(errorOf(m_->gNewFile("docs/sub", 1, "", "")), 0);
  EXPECT_TRUE(fs::is_directory(local("Docs/sub")));
  ASSERT_TRUE(tree().find("docs/sub"));
  EXPECT_TRUE(tree().find("docs/sub")->dir);
  EXPECT_EQ(row("docs/sub").nStatus, SyncStatus::kSynced);
}

TEST_F(NewFileTest, LiveRowAnswersExistsUnlessAPropertyIsGiven) {
  ASSERT_EQ(errorOf(m_->gNewFile("docs/a.txt", 0, "", "")), 0);
  ASSERT_EQ(errorOf(m_->gNewFile("docs/sub", 1, "", "")), 0);
  EXPECT_EQ(errorOf(m_->gNewFile("docs/a.txt", 0, "", "")), 10000);
  EXPECT_EQ(errorOf(m_->gNewFile("docs/sub", 1, "", "")), 10012);
  EXPECT_EQ(errorOf(m_->gNewFile("docs/a.txt", 0, R"({"x":1})", "")), 0);
}

// A file at the path without a live row is the user's own: a template must
// not replace it.
TEST_F(NewFileTest, TemplateOverAnUnrecordedLocalFileAnswersExistsAndKeepsIt) {
  putTemplate("report.docx", "template bytes");
  writeLocal("Docs/report.docx", "my own work");
  EXPECT_EQ(errorOf(m_->gNewFile("docs/report.docx", 0, "", "report.docx")), 10000);
  EXPECT_EQ(readLocal("Docs/report.docx"), "my own work");
  EXPECT_EQ(row("docs/report.docx").nStatus, SyncStatus::kNotFound);
  EXPECT_FALSE(tree().find("docs/report.docx"));
}

// Template names come from a page: anything but a plain file name is not
// looked up, so the file is made empty.
TEST_F(NewFileTest, TemplateNamesThatReachElsewhereAreNotUsed) {
  putTemplate("report.docx", "template bytes");
  for (const char* name : {"../UI/report.docx", "/etc/hostname", "..", "."}) {
    const std::string webpath = std::string("docs/t") + std::to_string(std::hash<std::string>{}(name));
    EXPECT_EQ(errorOf(m_->gNewFile(webpath, 0, "", name)), 0) << name;
    EXPECT_EQ(fs::file_size(local("Docs/" + webpath.substr(5))), 0U) << name;
  }
}

TEST_F(NewFileTest, OfflineKeepsARowAndQueuesItsUpload) {
  app_->setLinkNetwork(false);
  EXPECT_EQ(errorOf(m_->gNewFile("docs/off.txt", 0, "", "")), 0);
  EXPECT_TRUE(fs::is_regular_file(local("Docs/off.txt")));
  EXPECT_EQ(row("docs/off.txt").nStatus, SyncStatus::kUploadPending);
  EXPECT_FALSE(tree().find("docs/off.txt"));
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Uploads(kMountId, "docs/off.txt").size(), 1U);
}

TEST_F(NewFileTest, OutsideALinkAFolderIsKeptOnTheServerOnly) {
  EXPECT_EQ(errorOf(m_->gNewFile("other", 1, "", "")), 0);
  ASSERT_TRUE(tree().find("other"));
  EXPECT_EQ(row("other").nStatus, SyncStatus::kServerOnly);
}

}  // namespace
}  // namespace nb
