// The fake service's library tree: the server side that later tests of the
// client compare against, so its feed order and edit rules are pinned here.

#include <gtest/gtest.h>

#include "support/FakeLibraryTree.h"

namespace nb::test {
namespace {

const std::string kHashA(40, 'a');
const std::string kHashB(40, 'b');

class FakeLibraryTreeTest : public ::testing::Test {
 protected:
  FakeLibraryTreeTest() : tree_(7, [this] { return ++time_; }) {}

  // The feed of `folder` from the start as "cmd:path[>to]" texts.
  std::vector<std::string> feedText(const std::string& folder = "") const {
    std::vector<std::string> out;
    const auto page = tree_.feed(folder, 0, 0).value();
    for (const auto& change : page.changes) {
      out.push_back(std::to_string(change.cmd) + ":" + change.entry.fullpath +
                    (change.fullpathTo.empty() ? "" : ">" + change.fullpathTo));
    }
    return out;
  }

  uint64_t time_ = 1000;
  FakeMember me_{1, "me"};
  FakeMember other_{2, "other"};
  FakeLibraryTree tree_;
};

TEST_F(FakeLibraryTreeTest, FeedReportsAddsChangesMovesAndDeletesInOrder) {
  ASSERT_EQ(tree_.addFolder("/a/b/", me_), FakeTreeError::None);
  ASSERT_EQ(tree_.putFile("a/b/f.txt", kHashA, 3, me_), FakeTreeError::None);
  ASSERT_EQ(tree_.putFile("a/b/f.txt", kHashB, 4, me_), FakeTreeError::None);
  ASSERT_EQ(tree_.addFolder("c", me_), FakeTreeError::None);
  ASSERT_EQ(tree_.rename("a/b/f.txt", "g.txt", me_), FakeTreeError::None);
  ASSERT_EQ(tree_.move("a/b", "c", me_), FakeTreeError::None);
  ASSERT_EQ(tree_.remove("c/b/g.txt", me_), FakeTreeError::None);
  EXPECT_EQ(feedText(), (std::vector<std::string>{"1:a", "1:a/b", "1:a/b/f.txt", "1:a/b/f.txt",
                                                  "1:c", "0:a/b/f.txt>a/b/g.txt", "0:a/b>c/b",
                                                  "0:c/b/g.txt"}));
  EXPECT_EQ(feedText("c"), (std::vector<std::string>{"0:a/b>c/b", "0:c/b/g.txt"}));
  EXPECT_FALSE(tree_.feed("nowhere", 0, 0).has_value());
  EXPECT_EQ(tree_.find("c/b")->dir, true);
  EXPECT_FALSE(tree_.find("a/b").has_value());
}

TEST_F(FakeLibraryTreeTest, FeedPagesResumeFromTheLastPosition) {
  for (int i = 0; i < 5; ++i) tree_.addFolder("d" + std::to_string(i), me_);
  const auto first = tree_.feed("", 0, 0, 2).value();
  ASSERT_EQ(first.changes.size(), 2u);
  const auto second = tree_.feed("", first.dateline, first.id, 2).value();
  EXPECT_EQ(second.changes.front().entry.fullpath, "d2");
  const auto byDateline = tree_.feed("", first.dateline, 0, 10).value();
  EXPECT_EQ(byDateline.changes.size(), 3u);
  const auto last = tree_.changes().back();
  const auto end = tree_.feed("", last.dateline, last.id).value();
  EXPECT_TRUE(end.changes.empty());
  EXPECT_EQ(end.id, tree_.changes().back().id);
}

TEST_F(FakeLibraryTreeTest, EditRulesAnswerTheirErrors) {
  tree_.addFolder("a", me_);
  tree_.putFile("a/f", kHashA, 1, me_);
  tree_.putFile("a/g", kHashA, 1, me_);
  EXPECT_EQ(tree_.putFile("x/f", kHashA, 1, me_), FakeTreeError::NoParent);
  EXPECT_EQ(tree_.rename("a/f", "g", me_), FakeTreeError::Exists);
  EXPECT_EQ(tree_.rename("a/f", "../f", me_), FakeTreeError::BadName);
  EXPECT_EQ(tree_.move("a", "a", me_), FakeTreeError::BadName);
  EXPECT_EQ(tree_.remove("a/none", me_), FakeTreeError::NotFound);
  ASSERT_EQ(tree_.lock("a/f", true, other_), FakeTreeError::None);
  EXPECT_EQ(tree_.find("a/f")->lockMemberId, 2);
  EXPECT_EQ(tree_.remove("a/f", me_), FakeTreeError::Locked);
  EXPECT_EQ(tree_.putFile("a/f", kHashB, 2, me_), FakeTreeError::Locked);
  EXPECT_EQ(tree_.lock("a/f", false, other_), FakeTreeError::None);
  EXPECT_EQ(tree_.remove("a/f", me_), FakeTreeError::None);
  EXPECT_EQ(FakeLibraryTree::errorCode(FakeTreeError::NotFound), 40402);
}

TEST_F(FakeLibraryTreeTest, RecoverBringsBackTheSubtreeWithItsVersions) {
  tree_.addFolder("a/b", me_);
  tree_.putFile("a/b/f", kHashA, 1, me_);
  tree_.putFile("a/b/f", kHashB, 2, me_);
  const std::string hash = tree_.find("a")->hash;
  ASSERT_EQ(tree_.remove("a", me_), FakeTreeError::None);
  EXPECT_FALSE(tree_.list("").value().size());
  const auto back = tree_.recover({"a", "never"}, me_);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].hash, hash);
  EXPECT_EQ(tree_.find("a/b/f")->filehash, kHashB);
  const auto versions = tree_.versions("a/b/f");
  ASSERT_EQ(versions.size(), 2u);
  ASSERT_EQ(tree_.revert("a/b/f", versions[0].hid, me_), FakeTreeError::None);
  EXPECT_EQ(tree_.find("a/b/f")->filehash, kHashA);
  EXPECT_EQ(tree_.find("a/b/f")->version, 3);
  EXPECT_EQ(tree_.revert("a/b/f", "nope", me_), FakeTreeError::NotFound);
}

TEST_F(FakeLibraryTreeTest, EntryJsonCarriesTheFeedKeys) {
  tree_.addFolder("a", me_, 11, 12);
  const auto json = tree_.find("a")->toJson(1);
  EXPECT_EQ(json["fullpath"], "a");
  EXPECT_EQ(json["dir"], 1);
  EXPECT_EQ(json["create_dateline"], 11);
  EXPECT_EQ(json["last_dateline"], 12);
  EXPECT_EQ(json["last_member_name"], "me");
  EXPECT_EQ(json.size(), 14u);
}

}  // namespace
}  // namespace nb::test
