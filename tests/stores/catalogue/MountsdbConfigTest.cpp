#include <gtest/gtest.h>

#include "stores/catalogue/MountsdbFixture.h"

namespace nb {
namespace {

using MountsdbConfig = test::MountsdbFixture;

TEST_F(MountsdbConfig, NewFileAnswersSeedsAndEmptyTexts) {
  EXPECT_EQ(store->getIgnore(), "tmp;lik;pvm");
  EXPECT_EQ(store->getOffice(), "doc;docx;xls;xlsx;ppt;pptx");
  EXPECT_EQ(store->getLinks(), "");
  EXPECT_EQ(store->getCacheDataKey(), "");
}

TEST_F(MountsdbConfig, EveryKeyStoresAndReplacesItsValueUnchanged) {
  struct Key {
    const char* name;
    void (Mountsdb::*set)(const std::string&);
    std::string (Mountsdb::*get)();
  };
  const Key keys[] = {
      {"ignore", &Mountsdb::setIgnore, &Mountsdb::getIgnore},
      {"office", &Mountsdb::setOffice, &Mountsdb::getOffice},
      {"link", &Mountsdb::addLinks, &Mountsdb::getLinks},
      {"datacache", &Mountsdb::setCacheDataKey, &Mountsdb::getCacheDataKey},
  };
  for (const Key& key : keys) {
    SCOPED_TRACE(key.name);
    ((*store).*key.set)(R"({"name":"Bob's link"})");
    ((*store).*key.set)("second");
    EXPECT_EQ(((*store).*key.get)(), "second");
    ((*store).*key.set)(R"({"name":"Bob's link"})");
    EXPECT_EQ(((*store).*key.get)(), R"({"name":"Bob's link"})");
    EXPECT_EQ(rows(std::string("select count(*) from USERCONFIG where key='") + key.name + "';"),
              std::vector<std::string>{"1"});
  }
}

TEST_F(MountsdbConfig, InitOfficeNeverOverwrites) {
  store->initOffice("odt");
  EXPECT_EQ(store->getOffice(), "doc;docx;xls;xlsx;ppt;pptx");
  exec("delete from USERCONFIG where key='office';");
  store->initOffice("odt");
  EXPECT_EQ(store->getOffice(), "odt");
}

SettingItem setting(std::string name, std::int64_t value, std::string property) {
  SettingItem item;
  item.strSetting = std::move(name);
  item.nValue = value;
  item.strProperty = std::move(property);
  return item;
}

TEST_F(MountsdbConfig, SettingsMatchTheNameWithoutCaseAndTheLastRowWins) {
  EXPECT_FALSE(store->getSetting("delay_sync_file").has_value());
  store->addSetting(setting("delay_sync_file", 1, R"({"psd":30})"));
  store->addSetting(setting("other", 0, ""));

  auto found = store->getSetting("DELAY_SYNC_FILE");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->strSetting, "delay_sync_file");
  EXPECT_EQ(found->nValue, 1);
  EXPECT_EQ(found->strProperty, R"({"psd":30})");

  // A plain insert: a second row of the same name is added and read last.
  store->addSetting(setting("Delay_Sync_File", 2, "x'y"));
  EXPECT_EQ(rows("select count(*) from SETTING;"), std::vector<std::string>{"3"});
  found = store->getSetting("delay_sync_file");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->nValue, 2);
  EXPECT_EQ(found->strProperty, "x'y");

  store->removeSettings();
  EXPECT_FALSE(store->getSetting("other").has_value());
}

EntRoleEx role(std::int64_t id, std::int64_t entId, bool admin, std::string name = "r") {
  EntRoleEx item;
  item.nID = id;
  item.nEntID = entId;
  item.bOrgAdmin = admin;
  item.strName = std::move(name);
  item.strDescription = "d";
  item.strPermissions = R"(["read"])";
  item.strAddTime = "2024-01-01";
  return item;
}

TEST_F(MountsdbConfig, RolesAreAddressedByRoleAndEnterprise) {
  store->addRole(role(1, 10, true, "Admin"));
  store->addRole(role(1, 10, false, "Admin's"));
  store->addRole(role(1, 11, true));  // the declared key role_id rejects it
  store->addRole(role(2, 10, false));

  auto roles = store->getRoles();
  ASSERT_EQ(roles.size(), 2u);
  EXPECT_EQ(roles[0].nEntID, 10);
  EXPECT_EQ(roles[0].strName, "Admin's");
  EXPECT_FALSE(roles[0].bOrgAdmin);
  EXPECT_EQ(roles[0].strPermissions, R"(["read"])");
  EXPECT_EQ(roles[0].strAddTime, "2024-01-01");

  store->removeRole(2, 11);
  EXPECT_EQ(store->getRoles().size(), 2u);
  store->removeRole(2, 10);
  EXPECT_EQ(store->getRoles().size(), 1u);
}

TEST_F(MountsdbConfig, OrgAdminReadsAnyPositiveValueAsSet) {
  exec("insert into ROLE(role_id,ent_id,orgadmin) values(1,1,2),(2,1,0),(3,1,'1');");
  const auto roles = store->getRoles();
  ASSERT_EQ(roles.size(), 3u);
  EXPECT_TRUE(roles[0].bOrgAdmin);
  EXPECT_FALSE(roles[1].bOrgAdmin);
  EXPECT_TRUE(roles[2].bOrgAdmin);
  EXPECT_FALSE(roles[1].strName.has_value());  // NULL reads as no value
  EXPECT_EQ(roles[1].strPermissions, "");
}

TEST_F(MountsdbConfig, ResetAllRolesReplacesTheTableAndSkipsARejectedRole) {
  store->addRole(role(9, 1, false));
  store->resetAllRoles({role(1, 1, true), role(1, 2, false), role(2, 1, false)});
  EXPECT_EQ(rows("select role_id, ent_id, orgadmin from ROLE order by role_id;"),
            (std::vector<std::string>{"1|1|1", "2|1|0"}));
}

}  // namespace
}  // namespace nb
