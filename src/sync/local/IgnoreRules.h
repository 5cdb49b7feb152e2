#pragma once
// Which paths are never synced: system and temporary names, the engine's
// own download copies, names the service cannot store and the extensions
// the user lists. Callers pass absolute local paths or library web paths;
// the rules read whichever text they get.
//
// Stateless apart from the session's ignore list; safe from any thread.

#include <string>
#include <string_view>

namespace nb {

// Every rule: a component starting with "." or "~", the user's ignore list,
// a name invalid on Windows, "/__MACOSX/" in any case, the ".nbcopy" and
// "__MACOSX" endings, and the bare name "Icon\r".
bool isigonore(std::string_view text);
// The rules without the user's list and the name-validity test, for items
// the user adds by hand.
bool isigonoresys(std::string_view text);

// The part of an absolute local path that the rules should read: from the
// "/" that follows the linked folder `linkFolder` when the path lies inside
// it, so that the linked folder's own path ("~/.data/Sync", "/mnt/a:b")
// does not decide; the whole path otherwise. The linked folder itself
// gives "".
std::string_view ruleText(std::string_view localPath, std::string_view linkFolder);

// isigonore / isigonoresys of ruleText(localPath, linkFolder).
bool isigonoreLocal(std::string_view localPath, std::string_view linkFolder);
bool isigonoresysLocal(std::string_view localPath, std::string_view linkFolder);

}  // namespace nb
