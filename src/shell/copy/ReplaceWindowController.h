#pragma once
// The name-conflict question of saves into a local folder (save-as, drag-out):
// where each item goes when its name is taken there. Replace keeps the name,
// Keep both takes the first free numbered name ("report(2).pdf"), Stop ends
// the operation; with "apply to all" ticked the choice answers every later
// clash of the same operation without asking.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/jobs/SaveItem.h"

namespace nb {

class ReplaceWindowController {
 public:
  // Answers of the question (nButtonSelect).
  static constexpr std::int64_t kKeepBoth = 0;
  static constexpr std::int64_t kStop = 1;
  static constexpr std::int64_t kReplace = 2;

  // Sets every item's _fullpath to the folder `savepath` + the last
  // component of its web path, asking about each taken target. False when
  // the user chose Stop: the targets set before stay, the rest are unset.
  // Any thread: the file system is read on the caller's thread and the
  // question runs on the main thread, the caller waiting for its answer
  // (hold no lock the main thread may want).
  static bool pastefilesfrom(std::vector<transfer::SaveItem>& items, const std::string& savepath);

  // The first free numbered form of `name` in `folder` (which ends with
  // "/"): "name(n).ext", or "name(n)" without an extension, n from 2.
  static std::string keepBothPath(const std::string& folder, const std::string& name);

  // A question about one clash: the message, the item's icon and the
  // number of items of the operation (the check box shows from 2).
  ReplaceWindowController(std::string text, std::string image, std::int64_t count);
  ReplaceWindowController(const ReplaceWindowController&) = delete;
  ReplaceWindowController& operator=(const ReplaceWindowController&) = delete;

  // Shows the question modal over the main window and returns once it is
  // answered. Any thread (see pastefilesfrom). Without a registered user
  // interface the answer is Stop.
  void alertDisplay();

  std::int64_t nButtonSelect() const { return nButtonSelect_; }
  std::int64_t nApplyToAllStatus() const { return nApplyToAllStatus_; }

 private:
  const std::string strMessage_;
  const std::string imageFile_;
  const std::int64_t nCount_;
  std::int64_t nButtonSelect_ = kStop;
  std::int64_t nApplyToAllStatus_ = 0;
};

}  // namespace nb
