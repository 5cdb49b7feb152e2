// The transfer window's page functions against a transfer engine on the
// session's transfer store, with tasks that run until the test ends them.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "bridge/functions/PageWorld.h"
#include "bridge/script/ClientScript.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "transfer/engine/FakeTransferTask.h"
#include "transfer/engine/Network.h"

namespace nb::test {
namespace {

constexpr const char* kHashA = "0123456789abcdef0123456789abcdef01234567";
constexpr const char* kHashB = "1123456789abcdef0123456789abcdef01234567";

class TransferPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    DispatchGate gate;
    gate.signedIn = gate.networkUp = gate.transStart = gate.librariesLoaded = [] { return true; };
    engine = std::make_unique<transfer::Network>(
        transfer::Network::Options{.transActions = &transActions, .gate = std::move(gate)});
    engine->dManager().setTaskFactory(downloads.factory());
    engine->uManager().setTaskFactory(uploads.factory());
    restore = nb::Network::shareNetwork();
    nb::Network::setNetwork(std::shared_ptr<nb::Network>(std::shared_ptr<void>(), engine.get()));
    engine->start();
  }
  void TearDown() override {
    downloads.endAll();
    uploads.endAll();
    engine.reset();
    nb::Network::setNetwork(restore);
    PageWorld::TearDown();
  }

  TransPortDB& store() { return TransPortDB::shareTransPortDB(); }
  std::int64_t number(const std::string& sql, const SqlArgs& args = {}) {
    std::int64_t value = 0;
    store().inDatabase([&](FMDatabase& db) { value = longForQuery(db, sql, args); });
    return value;
  }
  void exec(const std::string& sql, const SqlArgs& args) {
    bool ok = false;
    store().inDatabase([&](FMDatabase& db) { ok = db.executeUpdate(sql, args); });
    ASSERT_TRUE(ok) << sql;
  }
  std::int64_t putDownload(const std::string& webpath, const std::string& hash,
                           std::int64_t status = 2, bool sync = false, std::uint64_t offset = 0,
                           std::uint64_t size = 10, const std::string& error = "") {
    exec("insert into Download(mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, actlast, expand, sync, errornum, errormsg, stat) "
         "values(?, ?, ?, ?, ?, 0, ?, ?, 5, 0, ?, 0, ?, 1)",
         {kMountId, webpath, "/l/" + webpath, hash, size, status, offset, sync, error});
    return number("select max(id) from Download");
  }
  std::int64_t putUpload(const std::string& webpath, std::int64_t status = 2, bool sync = false) {
    exec("insert into Upload(mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, last, actlast, expand, sync, errornum, errormsg, parentpath) "
         "values(?, ?, '/l', '', 10, 0, ?, 0, 0, 0, 0, ?, 0, '', '/')",
         {kMountId, webpath, status, sync});
    return number("select max(id) from Upload");
  }
  std::int64_t downloadStatus(std::int64_t id) {
    return number("select status from Download where id = ?", {id});
  }
  // Lets the dispatch loops run until `done` holds (20 s of real time at most).
  bool runUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      engine->refreshCounts();
      if (clock().sleepers() > 0) clock().advance(std::chrono::milliseconds(100));
      std::this_thread::yield();
    }
    return true;
  }
  std::shared_ptr<FakeTransferTask> running(std::int64_t id, FakeTaskRegistry& tasks) {
    EXPECT_TRUE(runUntil([&] { return tasks.find(id) != nullptr; }));
    auto task = tasks.find(id);
    if (task) {
      EXPECT_TRUE(task->waitRunning());
    }
    return task;
  }

  TransActionCounter transActions;
  FakeTaskRegistry downloads;
  FakeTaskRegistry uploads;
  std::unique_ptr<transfer::Network> engine;
  std::shared_ptr<nb::Network> restore;
};

TEST_F(TransferPagesTest, ListsPageTheStoreAndShowLiveFiguresOnlyForRunningRecords) {
  const std::int64_t live = putDownload("a.txt", kHashA);
  const auto task = running(live, downloads);
  ASSERT_TRUE(task);
  task->updateItem([](TransTaskItem& item) { item.ullOffset = 6; });
  task->setUllBlockOffset(1);
  const std::int64_t stopped = putDownload("b.txt", kHashB, 3, false, 4);
  putDownload("c.txt", kHashB, 4, false, 10);  // finished: not in the unfinished list
  putUpload("a.txt", 1);                        // same library and path, other direction
  engine->setNDownloadSpeed(9);
  engine->setNDownloadCount(2);

  EXPECT_EQ(answer("gGetDownload", "{}")["list"].size(), 0u) << "{} asks for none";
  const JsonValue all = answer("gGetDownload", "not json");
  EXPECT_EQ(all["download"].asInt64(), 9);
  EXPECT_EQ(all["download_total_count"].asInt64(), 2);
  ASSERT_EQ(all["list"].size(), 2u);
  const JsonValue& first = all["list"][0];
  EXPECT_EQ(first["index"].asInt64(), live);
  EXPECT_EQ(first["status"].asInt64(), 1);
  EXPECT_EQ(first["offset"].asInt64(), 7) << "the task's offset and its piece in flight";
  EXPECT_EQ(first["errormsg"].asString(), "");
  EXPECT_EQ(first["acttime"].asInt64() > 0, true);
  const JsonValue& second = all["list"][1];
  EXPECT_EQ(second["index"].asInt64(), stopped);
  EXPECT_EQ(second["offset"].asInt64(), 4);
  EXPECT_EQ(second["speed"].asInt64(), 0);
  EXPECT_EQ(answer("gGetDownload", R"({"start":1,"count":5})")["list"].size(), 1u);
  const JsonValue finished = answer("gGetDownloadFinish", R"({"count":5})");
  ASSERT_EQ(finished["list"].size(), 1u);
  EXPECT_EQ(finished["list"][0]["status"].asInt64(), 4);
  const JsonValue ups = answer("gGetUpload", R"({"count":5})");
  ASSERT_EQ(ups["list"].size(), 1u);
  EXPECT_EQ(ups["list"][0]["offset"].asInt64(), 0) << "no upload task runs for that path";
}

TEST_F(TransferPagesTest, StartStopAndDeleteChangeTheStoreAndTheTasks) {
  const std::int64_t a = putDownload("a.txt", kHashA);
  const std::int64_t b = putDownload("b.txt", kHashB, 3);
  const auto task = running(a, downloads);
  ASSERT_TRUE(task);

  const JsonValue ok = JsonValue::object({{"error", 0}, {"message", ""}});
  EXPECT_EQ(answer("gStopDownload", json(JsonValue::object(
                                        {{"list", JsonValue::array({JsonValue::object(
                                                      {{"index", a}})})}}))),
            ok);
  EXPECT_EQ(downloadStatus(a), 3);
  EXPECT_TRUE(task->bStop());
  EXPECT_EQ(answer("gStartDownload", R"({"all":true})"), ok);
  EXPECT_EQ(downloadStatus(a), 2);
  EXPECT_EQ(downloadStatus(b), 2);
  EXPECT_EQ(answer("gStartDownload", R"({"all":false,"list":[]})"), ok);
  EXPECT_EQ(answer("gStopDownload", "[1]")["error"].asInt64(), 10007);
  EXPECT_EQ(downloadStatus(a), 2) << "a refused selection changes nothing";

  // A bad element names no record: it is skipped and the page still hears back.
  EXPECT_EQ(answer("gDeleteDownload",
                   json(JsonValue::object({{"list", JsonValue::array({JsonValue(5), JsonValue::object({{"id", a}}),
                                                                      JsonValue::object({{"index", b}})})}}))),
            ok);
  EXPECT_EQ(number("select count(*) from Download where id = ?", {b}), 0);
  EXPECT_EQ(number("select count(*) from Download where id = ?", {a}), 1);
}

TEST_F(TransferPagesTest, DeleteAllKeepsSyncRecordsAndFinishDeletesFinishedOnly) {
  const std::int64_t user = putUpload("u.txt", 2);
  const std::int64_t synced = putUpload("s.txt", 2, true);
  const std::int64_t done = putUpload("d.txt", 4);
  EXPECT_EQ(answer("gDeleteUpload", R"({"all":true,"finish":true})")["error"].asInt64(), 0);
  const auto has = [&](std::int64_t id) {
    return number("select count(*) from Upload where id = ?", {id}) == 1;
  };
  EXPECT_TRUE(has(user));
  EXPECT_TRUE(has(synced));
  EXPECT_FALSE(has(done));
  EXPECT_EQ(answer("gDeleteUpload", R"({"all":true})")["error"].asInt64(), 0);
  EXPECT_FALSE(has(user));
  EXPECT_TRUE(has(synced)) << "what the sync engine queued stays";
}

TEST_F(TransferPagesTest, DownloadPositionAndFileProgress) {
  const std::int64_t live = putDownload("big.bin", kHashA, 2, false, 0, 1000);
  const auto task = running(live, downloads);
  ASSERT_TRUE(task);
  task->updateItem([](TransTaskItem& item) { item.ullOffset = 995; });
  putDownload("done.bin", kHashB, 4, false, 10);
  putDownload("bad.bin", kHashB, 5, false, 0, 10, "空间不足");
  putDownload("wait.bin", kHashB, 3);

  const auto pos = [&](const std::string& webpath, const std::string& fullpath) {
    return answer("gGetDownloadInfo",
                  json(JsonValue::object(
                      {{"mount_id", kMountId}, {"webpath", webpath}, {"fullpath", fullpath}})));
  };
  EXPECT_EQ(pos("big.bin", "/l/big.bin")["pos"].asInt64(), 99);
  EXPECT_EQ(pos("big.bin", "/l/big.bin")["index"].asInt64(), live);
  EXPECT_EQ(pos("done.bin", "/l/done.bin")["pos"].asInt64(), 100);
  EXPECT_EQ(pos("wait.bin", "/l/wait.bin")["pos"].asInt64(), 0);
  EXPECT_EQ(pos("bad.bin", "/l/bad.bin"),
            JsonValue::object({{"error", 1}, {"message", "空间不足"}}));
  EXPECT_EQ(pos("none.bin", "/l/none.bin")["message"].asString(), "获取下载信息失败");
  EXPECT_EQ(answer("gGetDownloadInfo", R"({"mount_id":0,"webpath":"x"})")["message"].asString(),
            "参数错误");

  // One file's progress: the running task, then the row of a synced file.
  const JsonValue running = answer(
      "gGetTransInfo", json(JsonValue::object({{"mount_id", kMountId}, {"webpath", "big.bin"}})));
  EXPECT_EQ(running, JsonValue::object({{"offset", 995}, {"filesize", 1000}, {"status", 0}}));
  runCoordinatorPass();  // the library's manager
  SyncFileItem row;
  row.strWebPath = "synced.txt";
  row.nUpID = 0;
  row.ullFileSize = 12;
  row.nStatus = 2;
  manager()->syncdb().add_new_file(row);
  EXPECT_EQ(answer("gGetTransInfo", json(JsonValue::object(
                                        {{"mount_id", kMountId}, {"webpath", "synced.txt"}}))),
            JsonValue::object({{"offset", 12}, {"filesize", 12}, {"status", 1}}));
  EXPECT_EQ(run("gGetTransInfo", R"({"mount_id":999,"webpath":"x"})"), std::nullopt)
      << "nothing is known of that library";
  app().setLoginFinish(false);
  EXPECT_EQ(run("gGetTransInfo", R"({"mount_id":1,"webpath":"big.bin"})"), std::nullopt);
  EXPECT_EQ(answer("gGetTransCount", "{}"),
            JsonValue::object({{"download_total_count", 0}, {"upload_total_count", 0}}));
}

TEST_F(TransferPagesTest, ARegisteredPageHearsProgressUntilItClearsTheSink) {
  transfer::CallbackThread::setPagesReady([] { return true; });
  // The page calls through its script, so the callback id is its own.
  const auto post = [&](const char* fn, const char* arg, const char* cb) {
    const std::string body =
        json(JsonValue::object({{"token", bridge->token()},
                                {"fn", fn},
                                {"args", JsonValue::array({JsonValue(arg)})},
                                {"cb", cb}}));
    ASSERT_TRUE(window->postMessage(std::string(bridge::kMessageHandler), body, kPage));
  };
  post("gChangeDownload", R"({"start":true})", "p_7");
  EXPECT_TRUE(bridge->bTransWeb());
  EXPECT_TRUE(engine->dCallback().hasSink());
  EXPECT_FALSE(engine->uCallback().hasSink());
  pumpMainThread();
  const std::size_t before = window->functionCalls().size();
  engine->dCallback().SendCallbackAction("reget");
  pumpMainThread();
  ASSERT_EQ(window->functionCalls().size(), before + 1);
  const JsonValue delivered =
      objectFromJSONString(window->functionCalls().back().argument).value();
  EXPECT_EQ(delivered["id"].asString(), "p_7");
  EXPECT_EQ(delivered["answer"].asString(), R"({"action":"reget"})");

  // Another page clears it, whoever registered it.
  auto other = BrowserWebWindowController::create(*ui, "sole", "2");
  auto otherBridge = bridge::NBWebViewDelegate::install(other, bridge::TrustedOrigins({"/opt/nb/UI"}, {}));
  bridge::PageCall call;
  call.name = "gChangeDownload";
  call.args = {R"({"start":false})"};
  call.callbackId = "q_1";
  call.bridge = otherBridge;
  EXPECT_EQ(bridge::pageHandler("gChangeDownload")(call, *other), std::nullopt);
  EXPECT_FALSE(engine->dCallback().hasSink());
  transfer::CallbackThread::setPagesReady({});
}

TEST_F(TransferPagesTest, ClosingTheWindowThatFollowsTransfersClearsBothSinks) {
  auto other = BrowserWebWindowController::create(*ui, "sole", "3");
  FakeUiWindow& otherWindow = ui->lastWindow();
  auto otherBridge =
      bridge::NBWebViewDelegate::install(other, bridge::TrustedOrigins({"/opt/nb/UI"}, {}));
  bridge::PageCall call;
  call.args = {R"({"start":true})"};
  call.callbackId = "q_1";
  call.bridge = otherBridge;
  for (const char* name : {"gChangeDownload", "gChangeUpload"}) {
    call.name = name;
    bridge::pageHandler(name)(call, *other);
  }
  ASSERT_TRUE(engine->dCallback().hasSink());
  ASSERT_TRUE(engine->uCallback().hasSink());
  // A window that never followed transfers leaves them alone.
  auto bystander = BrowserWebWindowController::create(*ui, "sole", "4");
  FakeUiWindow& bystanderWindow = ui->lastWindow();
  auto bystanderBridge =
      bridge::NBWebViewDelegate::install(bystander, bridge::TrustedOrigins({"/opt/nb/UI"}, {}));
  ASSERT_TRUE(bystanderWindow.userClose());
  pumpMainThread();
  EXPECT_TRUE(engine->dCallback().hasSink());
  ASSERT_TRUE(otherWindow.userClose());
  pumpMainThread();
  EXPECT_FALSE(engine->dCallback().hasSink());
  EXPECT_FALSE(engine->uCallback().hasSink());
}

}  // namespace
}  // namespace nb::test
