#pragma once
// Where library items dragged out of a page end up. Dropped on a folder
// (the desktop or a file manager), the items the drag did not already
// deliver as cached copies are saved there after the name-clash question;
// dropped on another application, the files are queued for download and
// recorded as opened, and the user is told to drag again once they are in.
//
// Main thread (where drags end).

#include <functional>
#include <string>
#include <vector>

#include "shell/drag/DragItem.h"
#include "transfer/jobs/SaveItem.h"

namespace nb {

class OperationManager {
 public:
  // Gives each save item its target in `folder`, asking the user about
  // names already taken there; false when the user chose Stop.
  using PasteFiles =
      std::function<bool(std::vector<transfer::SaveItem>& items, const std::string& folder)>;

  static OperationManager& sharedInstance();
  // Replaces the name-clash question (tests); empty takes the shell's
  // own question back.
  static void setPasteFiles(PasteFiles paste);

  void dragendinfinder(const std::vector<drag_item>& items, const std::string& target);
  void dragendinothers(const std::vector<drag_item>& items);

 private:
  OperationManager() = default;
};

}  // namespace nb
