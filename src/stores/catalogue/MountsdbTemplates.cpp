// Enterprise templates (TEMPLATES) and hot files (HOTFILE) of the catalogue
// store.
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/catalogue/MountsdbSql.h"
#include "stores/common/StoreBatch.h"

namespace nb {

namespace {

TemplateItem readTemplate(FMResultSet& set) {
  TemplateItem item;
  item.nEntID = set.longForColumn("ent_id");
  item.nID = set.longForColumn("temp_id");
  item.strName = set.stringForColumn("tpl_name").value_or("");
  item.strExt = set.stringForColumn("ext").value_or("");
  item.strFullpath = set.stringForColumn("fullpath").value_or("");
  item.strHash = set.stringForColumn("filehash").value_or("");
  item.ullFilesize = static_cast<std::uint64_t>(set.longForColumn("filesize"));
  item.ullTime = static_cast<std::uint64_t>(set.longForColumn("dateline"));
  item.strProperty = set.stringForColumn("propertys").value_or("");
  return item;
}

// The non-empty parts of a ","-separated list.
std::vector<std::string_view> listParts(std::string_view text) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view part = text.substr(0, comma);
    if (!part.empty()) parts.push_back(part);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return parts;
}

constexpr std::string_view kSelectHotFile = "select * from HOTFILE where uuidhash= ?;";

}  // namespace

// --- Templates ----------------------------------------------------------------------

void Mountsdb::addTemplate(const TemplateItem& item) {
  inDatabase([&](FMDatabase& db) {
    mountsdb::upsert(
        db,
        {"select * from TEMPLATES where ent_id=? and fullpath=?;", {item.nEntID, item.strFullpath}},
        {"update TEMPLATES set temp_id=?, tpl_name=?,ext=?, filehash=?,filesize=?,dateline=?,"
         "propertys=? where ent_id=? and fullpath=?;",
         {item.nID, item.strName, item.strExt, item.strHash, item.ullFilesize, item.ullTime,
          item.strProperty, item.nEntID, item.strFullpath}},
        {"insert into TEMPLATES(ent_id,temp_id,tpl_name,ext,fullpath,filehash,filesize,dateline,"
         "propertys) values(?,?,?,?,?,?,?,?,?);",
         {item.nEntID, item.nID, item.strName, item.strExt, item.strFullpath, item.strHash,
          item.ullFilesize, item.ullTime, item.strProperty}});
  });
}

std::vector<TemplateItem> Mountsdb::getTemplates(std::int64_t entId) {
  return mountsdb::selectAll(*this, "select * from TEMPLATES where ent_id=?;", {entId},
                             readTemplate);
}

std::vector<TemplateItem> Mountsdb::getTemplates() {
  return mountsdb::selectAll(*this, "select * from TEMPLATES;", {}, readTemplate);
}

void Mountsdb::removeTemplate(std::int64_t entId, const std::string& fullpath) {
  mountsdb::write(*this, "delete from TEMPLATES where ent_id=? and fullpath=?;", {entId, fullpath});
}

void Mountsdb::removeTemplates() { mountsdb::write(*this, "delete from TEMPLATES;"); }

void Mountsdb::removeTemplates(std::string_view entIds) {
  const auto parts = listParts(entIds);
  if (parts.empty()) return;
  // One delete per id, bound as the text it came as: the integer column's
  // affinity still makes "12" match 12, and text that is no number matches
  // nothing. One transaction keeps the removal whole, however long the list.
  inDatabase([&](FMDatabase& db) {
    inBatch(db, [&] {
      for (std::string_view id : parts) {
        db.executeUpdateRetry("delete from TEMPLATES where ent_id=?;", {id});
      }
    });
  });
}

// --- Hot files ----------------------------------------------------------------------

void Mountsdb::addHotFiles(const std::vector<std::string>& hashes) {
  inDatabase([&](FMDatabase& db) {
    inBatch(db, [&] {
      for (const std::string& hash : hashes) {
        if (mountsdb::hasRow(db, {kSelectHotFile, {hash}})) continue;
        db.executeUpdateRetry("insert into HOTFILE(uuidhash) values(?);", {hash});
      }
    });
  });
}

std::vector<std::string> Mountsdb::getHotFiles() {
  return mountsdb::selectAll(*this, "select * from HOTFILE;", {}, [](FMResultSet& set) {
    return set.stringForColumn("uuidhash").value_or("");
  });
}

bool Mountsdb::checkHotFile(const std::string& hash) {
  bool found = false;
  inDatabase([&](FMDatabase& db) { found = mountsdb::hasRow(db, {kSelectHotFile, {hash}}); });
  return found;
}

void Mountsdb::removeHotFiles() { mountsdb::write(*this, "delete from HOTFILE;"); }

}  // namespace nb
