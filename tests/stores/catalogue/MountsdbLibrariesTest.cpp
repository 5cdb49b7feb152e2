#include <gtest/gtest.h>

#include "stores/catalogue/MountsdbFixture.h"

namespace nb {
namespace {

using MountsdbLibraries = test::MountsdbFixture;

MountItem mount(std::int64_t id, std::int64_t orgType, std::int64_t type, std::uint64_t added,
                std::string name = "lib") {
  MountItem item;
  item.nMountID = id;
  item.nOrgID = id + 100;
  item.strOrgName = std::move(name);
  item.nMemberType = type;
  item.nOrgType = orgType;
  item.ullAddDateline = added;
  return item;
}

std::vector<std::int64_t> ids(const std::vector<MountItem>& items) {
  std::vector<std::int64_t> out;
  for (const auto& item : items) out.push_back(item.nMountID);
  return out;
}

TEST_F(MountsdbLibraries, AreListedByOrgTypeDownThenTypeThenAddTime) {
  store->addMount(mount(1, 0, 1, 5));
  store->addMount(mount(2, 1, 2, 9));
  store->addMount(mount(3, 1, 0, 7));
  store->addMount(mount(4, 0, 1, 3));
  EXPECT_EQ(ids(store->getMounts()), (std::vector<std::int64_t>{3, 2, 4, 1}));
}

TEST_F(MountsdbLibraries, UpsertKeepsOneRowWithEveryFieldOfTheSecondItem) {
  store->addMount(mount(7, 0, 1, 5, "first"));
  MountItem second = mount(7, 2, 3, 99, "it's second");
  second.nOrgID = 4'000'000'000;  // ids are 64-bit end to end
  second.llOrgUse = 1LL << 40;
  second.llOrgTotal = 1LL << 41;
  second.nEntID = 3'000'000'000;
  second.strPropertys = R"({"a":"b'c"})";
  second.strInfo = R"({"mount_id":7})";
  second.nCompare = 1;
  second.bRemove = true;
  store->addMount(second);

  const auto all = store->getMounts();
  ASSERT_EQ(all.size(), 1u);
  const MountItem& got = all[0];
  EXPECT_EQ(got.strOrgName, "it's second");
  EXPECT_EQ(got.nOrgID, 4'000'000'000);
  EXPECT_EQ(got.nMemberType, 3);
  EXPECT_EQ(got.nOrgType, 2);
  EXPECT_EQ(got.llOrgUse, 1LL << 40);
  EXPECT_EQ(got.llOrgTotal, 1LL << 41);
  EXPECT_EQ(got.nEntID, 3'000'000'000);
  EXPECT_EQ(got.strPropertys, second.strPropertys);
  EXPECT_EQ(got.strInfo, second.strInfo);
  EXPECT_EQ(got.ullAddDateline, 99u);
  EXPECT_EQ(got.nCompare, 0);  // not stored
  EXPECT_FALSE(got.bRemove);
  EXPECT_EQ(store->getMountByOrgID(4'000'000'000).nMountID, 7);
}

TEST_F(MountsdbLibraries, UpdateMountChangesOnlyAnExistingRow) {
  store->updateMount(mount(8, 0, 1, 5));
  EXPECT_TRUE(store->getMounts().empty());
  store->addMount(mount(8, 0, 1, 5));
  store->updateMount(mount(8, 0, 1, 5, "renamed"));
  EXPECT_EQ(store->getMountByMountID(8).strOrgName, "renamed");
}

TEST_F(MountsdbLibraries, AnAbsentLibraryIsAnItemWithIdMinusOne) {
  for (const MountItem& absent : {store->getMountByMountID(42), store->getMountByOrgID(42)}) {
    EXPECT_EQ(absent.nMountID, -1);
    EXPECT_EQ(absent.strOrgName, "");
    EXPECT_EQ(absent.llOrgUse, 0);
    EXPECT_EQ(absent.llOrgTotal, 0);
  }
}

TEST_F(MountsdbLibraries, SearchTakesTheTextAsALikePiece) {
  store->addMount(mount(1, 0, 0, 1, "Team_A"));
  store->addMount(mount(2, 0, 0, 2, "teamxa"));
  store->addMount(mount(3, 0, 0, 3, "Other"));
  store->addMount(mount(4, 0, 0, 4, "it's"));
  EXPECT_EQ(ids(store->searchMounts("team_a")), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(ids(store->searchMounts("TEAM")), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(ids(store->searchMounts("'")), (std::vector<std::int64_t>{4}));
  EXPECT_EQ(ids(store->searchMounts("%")).size(), 4u);
}

TEST_F(MountsdbLibraries, RemoveByMountOrByOrganisation) {
  store->addMount(mount(1, 0, 0, 1));
  store->addMount(mount(2, 0, 0, 2));
  store->removeByMountID(1);
  EXPECT_EQ(ids(store->getMounts()), std::vector<std::int64_t>{2});
  store->removeMountOrgID(102);
  EXPECT_TRUE(store->getMounts().empty());
}

EntItem ent(std::int64_t id, std::string name, std::string info) {
  EntItem item;
  item.nEntID = id;
  item.strEntName = std::move(name);
  item.strPropertys = std::move(info);
  return item;
}

TEST_F(MountsdbLibraries, EnterprisesUpsertReadAndDelete) {
  store->addEnt(ent(3, "Acme", "{}"));
  store->addEnt(ent(5'000'000'000, "Big", "{\"x\":1}"));
  store->addEnt(ent(3, "Acme's", "{\"y\":2}"));

  ASSERT_EQ(store->getEnts().size(), 2u);
  const auto acme = store->getEnt(3);
  ASSERT_TRUE(acme.has_value());
  EXPECT_EQ(acme->strEntName, "Acme's");
  EXPECT_EQ(acme->strPropertys, "{\"y\":2}");
  ASSERT_TRUE(store->getEnt(5'000'000'000).has_value());
  EXPECT_FALSE(store->getEnt(5'000'000'000 & 0xffffffff).has_value());

  store->delEnt(3);
  EXPECT_FALSE(store->getEnt(3).has_value());
  EXPECT_EQ(store->getEnts().size(), 1u);
}

}  // namespace
}  // namespace nb
