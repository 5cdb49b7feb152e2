#pragma once
// One upload's session with a storage server: it opens the content, asks the
// server to open (or find) the session, learns how much the server already
// holds, optionally turns the content into a block-level delta against the
// server's earlier version, sends the data in pieces that each carry their
// byte range and CRC-32, and closes the session.
//
// Side files in the user's transfer cache, named
// "upload_<pathhash>_<filehash>" plus:
//   ".nbsvr"   the server's base URL, so a later attempt returns to it;
//   ".nbreset" present: no delta for this content on this path;
//   ".nbdif"   the delta data, so a resumed delta goes on without matching.
//
// Everything runs on the upload task's thread and blocks it; Stop may come
// from any thread and cancels the piece in flight.

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/UniqueFd.h"
#include "transfer/delta/UploadFile.h"
#include "transfer/engine/PeerBase.h"
#include "transfer/upload/UploadEnvironment.h"

namespace nb {

class RequestRet;

class UploadPeer final : public PeerBase {
 public:
  // Bytes per piece by the record's file size.
  static std::uint64_t pieceLengthFor(std::uint64_t filesize);
  // Failed pieces in a row that end the piece loop.
  static constexpr int kMaxPieceFailures = 5;

  // `task` owns the peer and outlives it; its item is the record uploaded.
  // `environment` must be resolved.
  UploadPeer(TransferTask& task, UploadEnvironment environment);
  ~UploadPeer() override;

  // Also cuts a pause between attempts short: a task being stopped (the
  // engine shutting down among them) must not wait the pause out.
  void Stop(bool deleting) override;

  // The server for the next Run; clears bResetServer.
  void SetUrl(const std::string& url);
  // The whole session; the outcome is left in bFinish, bResetServer,
  // nError/strError and the task's item (ullOffset, nStatus).
  void Run();

  bool bFinish() const { return bFinish_; }
  bool bResetServer() const { return bResetServer_; }
  std::int64_t nError() const { return nError_; }
  const std::string& strError() const { return strError_; }
  std::int64_t nPiecelen() const { return nPiecelen_; }

  // ---- side files ----
  // The base of the side files' names; "" when the item's hashes cannot
  // name a file (then no side file is read or written).
  std::string GetCacheTempPath() const;
  std::string GetServerTarget() const;
  void SaveServerTarget();
  void DeleteServerTarget();
  void CreateResetFile();
  bool CheckResetFile() const;
  void DeleteResetFile();
  bool CheckDifFile() const;

 private:
  enum class Pass { kDone, kAgainPlain };

  Pass runOnce();
  bool openContent();
  // The delta step of a fresh (offset 0) or resumed transfer; false ends
  // the run.
  bool prepareFreshDelta();
  bool prepareResumedDelta();
  void sendPieces();
  void endRun();

  bool SendInit();
  bool SendReq();
  bool SendDownloadChecksum();
  bool SendUploadChecksum();
  bool SendFinish();
  bool SendAbort();
  bool SendPiece(std::uint64_t length);

  bool OpenDifFile();
  bool CreateDifFileCanReset();
  bool CreateDiffile();
  bool matchIntoDifFile(bool& opened);
  void ClearDiffInfo();
  void ChangeNormalUpload();
  std::uint64_t GetFileSize() const;
  std::uint64_t GetSendSize() const;
  void Finish();
  void SetError(std::int64_t code, const std::string& text);
  // The server's code and text after the last failed attempt, else
  // `fallback` with no text.
  void SetLastError(const RequestRet& ret, std::int64_t fallback);
  // Handles the answers that end a delta call at once: 205 (no delta: the
  // content goes plain) and a server failure (the next server). True when
  // `ret` was one of them.
  bool endsDeltaCall(const RequestRet& ret);
  // Sleeps between attempts; false when the peer was stopped meanwhile.
  bool pauseBetweenAttempts() const;

  std::string sidePath(const char* suffix) const;
  static int fdOf(const std::optional<platform::UniqueFd>& handle) {
    return handle ? handle->get() : -1;
  }
  TransTaskItem item() const;
  void setOffset(std::uint64_t offset);

  TransferTask& task_;
  const UploadEnvironment environment_;
  UploadFile pUploadFile_;
  std::int64_t nPiecelen_ = 0;
  // Read handle on the content; read (resume) or read-write (fresh match)
  // handle on ".nbdif". Empty when not open.
  std::optional<platform::UniqueFd> pFileHandle_;
  std::optional<platform::UniqueFd> pDifFileHandle_;
  std::optional<std::string> pServerHave_;
  std::string strSession_;
  std::int64_t nError_ = 0;
  std::string strError_;
  bool bResetServer_ = false;
  bool bFinish_ = false;
  // A 205 in this pass made the content plain: run once more at once.
  bool madeResetThisPass_ = false;
  // Requested by Stop; ends the pause between attempts.
  std::stop_source stopPause_;
};

}  // namespace nb
