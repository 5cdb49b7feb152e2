#include <gtest/gtest.h>

#include "stores/catalogue/MountsdbFixture.h"
#include "stores/catalogue/MountsdbSql.h"
#include "stores/common/StoreBatch.h"

namespace nb {
namespace {

using MountsdbSchema = test::MountsdbFixture;

TEST_F(MountsdbSchema, NewFileHasNineTablesBothSeedsAndVersionOne) {
  EXPECT_EQ(rows("select name from sqlite_master where type='table' order by name;"),
            (std::vector<std::string>{"ENTS", "FAVORITESINFO", "FAVORITESITEM", "HOTFILE",
                                      "MOUNTS", "ROLE", "SETTING", "TEMPLATES", "USERCONFIG"}));
  EXPECT_EQ(rows("select key, value from USERCONFIG order by key;"),
            (std::vector<std::string>{"ignore|tmp;lik;pvm", "office|doc;docx;xls;xlsx;ppt;pptx"}));
  EXPECT_EQ(rows("PRAGMA user_version;"), std::vector<std::string>{"1"});
  EXPECT_EQ(columnType("MOUNTS", "info"), "text");
  EXPECT_EQ(columnType("MOUNTS", "dateline"), "bigint");
}

TEST_F(MountsdbSchema, DeclaredTypesAndCollationsAreThoseOfExistingFiles) {
  EXPECT_EQ(columnType("FAVORITESINFO", "name"), "varchar [200]");
  EXPECT_EQ(columnType("TEMPLATES", "filehash"), "char[40]");
  EXPECT_EQ(columnType("USERCONFIG", "value"), "varchar[8000]");
  // NOCASE where declared, exact elsewhere.
  exec("insert into SETTING(setting,tvalue,propertys) values('Abc',1,'');");
  exec("insert into HOTFILE(uuidhash) values('AB');");
  EXPECT_EQ(rows("select count(*) from SETTING where setting='aBC';"),
            std::vector<std::string>{"1"});
  EXPECT_EQ(rows("select count(*) from HOTFILE where uuidhash='ab';"),
            std::vector<std::string>{"0"});
}

TEST_F(MountsdbSchema, ReopeningKeepsAChangedIgnoreAndRestoresAMissingOffice) {
  store->setIgnore("");
  exec("delete from USERCONFIG where key='office';");
  reopen();
  EXPECT_EQ(rows("select value from USERCONFIG where key='ignore';"),
            std::vector<std::string>{""});
  EXPECT_EQ(store->getIgnore(), "");
  EXPECT_EQ(store->getOffice(), "doc;docx;xls;xlsx;ppt;pptx");

  store->setOffice("odt");
  reopen();
  EXPECT_EQ(store->getOffice(), "odt");
}

// The layout files had before the version mark: no info columns, no add
// time, and two tables that later went away.
void buildOldLayout(const std::string& path) {
  FMDatabase db(path);
  ASSERT_TRUE(db.open());
  for (const char* sql : {
           "CREATE TABLE USERCONFIG(key varchar[20],value varchar[8000],PRIMARY KEY (key));",
           "insert into USERCONFIG(key,value) values('ignore','mp4');",
           "CREATE TABLE MOUNTS(mountid int,orgid int,orgname varchar[100],type int,"
           "orguse bigint,orgtotal bigint,entid int,propertys varchar[4000],orgtype int,"
           "PRIMARY KEY (mountid));",
           "insert into MOUNTS values(5,6,'Team',1,10,20,3,'{}',2);",
           "CREATE TABLE ENTS(entid int,entname varchar[1000],PRIMARY KEY (entid));",
           "insert into ENTS values(3,'Acme');",
           "CREATE TABLE FAVORITES(id int, hash varchar[40]);",
           "CREATE TABLE MAGICFOLDER(id int, name varchar[200]);",
       }) {
    ASSERT_TRUE(db.executeUpdate(sql)) << sql;
  }
}

TEST_F(MountsdbSchema, OldLayoutIsMigratedOnceAndKeepsItsRows) {
  store.reset();
  std::filesystem::remove(path());
  buildOldLayout(path());
  reopen();

  EXPECT_EQ(rows("select mountid, orgname, info, dateline from MOUNTS;"),
            std::vector<std::string>{"5|Team||0"});
  EXPECT_EQ(rows("select entid, entname, info from ENTS;"),
            std::vector<std::string>{"3|Acme|"});
  EXPECT_EQ(rows("select count(*) from sqlite_master where name in ('FAVORITES','MAGICFOLDER');"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(rows("PRAGMA user_version;"), std::vector<std::string>{"1"});
  EXPECT_EQ(store->getIgnore(), "mp4");
  EXPECT_EQ(store->getOffice(), "doc;docx;xls;xlsx;ppt;pptx");
  const MountItem mount = store->getMountByMountID(5);
  EXPECT_EQ(mount.nEntID, 3);
  EXPECT_EQ(mount.nOrgType, 2);

  // A second open runs no back-fill over values written since.
  exec("update MOUNTS set info='{\"a\":1}', dateline=77;");
  reopen();
  EXPECT_EQ(rows("select info, dateline from MOUNTS;"),
            std::vector<std::string>{"{\"a\":1}|77"});
}

TEST_F(MountsdbSchema, ColumnsThatAlreadyExistAreNotBackFilled) {
  // A current layout whose version mark is missing (an interrupted upgrade):
  // the ALTERs fail, so the values stay.
  store->addEnt({});
  exec("update ENTS set info='kept';");
  exec("PRAGMA user_version=0;");
  reopen();
  EXPECT_EQ(rows("select info from ENTS;"), std::vector<std::string>{"kept"});
  EXPECT_EQ(rows("PRAGMA user_version;"), std::vector<std::string>{"1"});
}

TEST_F(MountsdbSchema, ExitClosesAndTheNextOperationReopensTheSameFile) {
  store->setIgnore("a");
  store->exit();
  EXPECT_EQ(store->getIgnore(), "a");
  store->setIgnore("b");
  reopen();
  EXPECT_EQ(store->getIgnore(), "b");
}

TEST(MountsdbWithoutFile, ReadsAnswerDefaultsAndWritesDoNothing) {
  Mountsdb store;
  store.setIgnore("x");
  EXPECT_EQ(store.getIgnore(), "");
  EXPECT_TRUE(store.getMounts().empty());
  EXPECT_EQ(store.getMountByMountID(1).nMountID, -1);
  EXPECT_FALSE(store.getEnt(1).has_value());
  EXPECT_FALSE(store.checkHotFile("a"));
}

TEST(MountsdbShared, IsOneInstance) {
  EXPECT_EQ(&Mountsdb::shareMountsdb(), &Mountsdb::shareMountsdb());
}

// The batch frame of addFavorites, addHotFiles and resetAllRoles (shared with
// the message store).
using MountsdbBatch = test::MountsdbFixture;

TEST_F(MountsdbBatch, WhatWasWrittenIsCommittedWhenTheLoopEndsEarly) {
  store->inDatabase([](FMDatabase& db) {
    inBatch(db, [&] {
      db.executeUpdateRetry("insert into HOTFILE(uuidhash) values('a');");
      db.executeUpdateRetry("insert into HOTFILE(uuidhash) values('b');");
      throw std::runtime_error("element failed");
    });
    EXPECT_FALSE(db.inTransaction());
  });
  // Seen from a second connection, so the rows really were committed.
  FMDatabase other(path());
  ASSERT_TRUE(other.open());
  EXPECT_EQ(intForQuery(other, "select count(*) from HOTFILE;"), 2);
  EXPECT_TRUE(other.executeUpdate("insert into HOTFILE(uuidhash) values('c');"));
}

}  // namespace
}  // namespace nb
