// Libraries (MOUNTS) and enterprises (ENTS) of the catalogue store.
#include "stores/catalogue/Mountsdb.h"
#include "stores/catalogue/MountsdbSql.h"

namespace nb {

namespace {

constexpr const char* kMountOrder = " order by orgtype desc,type asc,dateline asc;";

constexpr std::string_view kUpdateMount =
    "update MOUNTS set orgid=?,orgname=?,type=?,orguse=?,orgtotal=?,entid=?,propertys=?,"
    "info=?,dateline=?,orgtype=? where mountid=?;";

SqlArgs updateMountArgs(const MountItem& item) {
  return {item.nOrgID,      item.strOrgName, item.nMemberType,    item.llOrgUse,
          item.llOrgTotal,  item.nEntID,     item.strPropertys,   item.strInfo,
          item.ullAddDateline, item.nOrgType, item.nMountID};
}

// Every stored field of the current row; nCompare and bRemove keep their
// initial values.
MountItem readMount(FMResultSet& set) {
  MountItem item;
  item.nMountID = set.longForColumn("mountid");
  item.nOrgID = set.longForColumn("orgid");
  item.strOrgName = set.stringForColumn("orgname").value_or("");
  item.nMemberType = set.longForColumn("type");
  item.llOrgUse = set.longForColumn("orguse");
  item.llOrgTotal = set.longForColumn("orgtotal");
  item.nEntID = set.longForColumn("entid");
  item.strPropertys = set.stringForColumn("propertys").value_or("");
  item.strInfo = set.stringForColumn("info").value_or("");
  item.ullAddDateline = static_cast<std::uint64_t>(set.longForColumn("dateline"));
  item.nOrgType = set.longForColumn("orgtype");
  return item;
}

// The last library read (several may share an organisation id), or an item
// whose nMountID is -1.
MountItem lastOrAbsent(std::vector<MountItem> items) {
  if (!items.empty()) return std::move(items.back());
  MountItem absent;
  absent.nMountID = -1;
  return absent;
}

EntItem readEnt(FMResultSet& set) {
  EntItem item;
  item.nEntID = set.longForColumn("entid");
  item.strEntName = set.stringForColumn("entname").value_or("");
  item.strPropertys = set.stringForColumn("info").value_or("");
  return item;
}

}  // namespace

// --- Libraries ----------------------------------------------------------------------

void Mountsdb::addMount(const MountItem& item) {
  inDatabase([&](FMDatabase& db) {
    mountsdb::upsert(
        db, {"select * from MOUNTS where mountid=?;", {item.nMountID}},
        {kUpdateMount, updateMountArgs(item)},
        {"insert into MOUNTS(mountid,orgid,orgname,type,orguse,orgtotal,entid,propertys,info,"
         "dateline,orgtype) values(?,?,?,?,?,?,?,?,?,?,?);",
         {item.nMountID, item.nOrgID, item.strOrgName, item.nMemberType, item.llOrgUse,
          item.llOrgTotal, item.nEntID, item.strPropertys, item.strInfo, item.ullAddDateline,
          item.nOrgType}});
  });
}

void Mountsdb::updateMount(const MountItem& item) {
  mountsdb::write(*this, kUpdateMount, updateMountArgs(item));
}

MountItem Mountsdb::getMountByMountID(std::int64_t mountId) {
  return lastOrAbsent(
      mountsdb::selectAll(*this, "select * from MOUNTS where mountid = ?;", {mountId}, readMount));
}

MountItem Mountsdb::getMountByOrgID(std::int64_t orgId) {
  return lastOrAbsent(
      mountsdb::selectAll(*this, "select * from MOUNTS where orgid = ?;", {orgId}, readMount));
}

std::vector<MountItem> Mountsdb::getMounts() {
  return mountsdb::selectAll(*this, std::string("select * from MOUNTS") + kMountOrder, {},
                             readMount);
}

std::vector<MountItem> Mountsdb::searchMounts(const std::string& text) {
  return mountsdb::selectAll(
      *this, std::string("select * from MOUNTS where orgname like '%' || ? || '%'") + kMountOrder,
      {text}, readMount);
}

void Mountsdb::removeByMountID(std::int64_t mountId) {
  mountsdb::write(*this, "delete from MOUNTS where mountid=?;", {mountId});
}

void Mountsdb::removeMountOrgID(std::int64_t orgId) {
  mountsdb::write(*this, "delete from MOUNTS where orgid=?;", {orgId});
}

// --- Enterprises ----------------------------------------------------------------------

void Mountsdb::addEnt(const EntItem& item) {
  inDatabase([&](FMDatabase& db) {
    mountsdb::upsert(
        db, {"select * from ENTS where entid = ?;", {item.nEntID}},
        {"update ENTS set entname = ?, info = ? where entid = ?;",
         {item.strEntName, item.strPropertys, item.nEntID}},
        {"insert into ENTS(entid,entname,info) values(?,?,?);",
         {item.nEntID, item.strEntName, item.strPropertys}});
  });
}

std::vector<EntItem> Mountsdb::getEnts() {
  return mountsdb::selectAll(*this, "select * from ENTS;", {}, readEnt);
}

std::optional<EntItem> Mountsdb::getEnt(std::int64_t entId) {
  auto items = mountsdb::selectAll(*this, "select * from ENTS where entid = ?;", {entId}, readEnt);
  if (items.empty()) return std::nullopt;
  return std::move(items.back());
}

void Mountsdb::delEnt(std::int64_t entId) {
  mountsdb::write(*this, "delete from ENTS where entid = ?;", {entId});
}

}  // namespace nb
