#pragma once
// Native alerts: a message, an informative text, an icon and buttons. The
// shell's alert logic (return codes, cancel buttons, waiting callers) is
// built on these two calls; see shell/alerts/NBAlert.h.
//
// Threads: main thread only. Answers are button indices in the order of
// Alert::buttons; closing the alert (close button, Escape) answers the last
// button, which every caller makes the safe choice.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nb::ui {

class WebWindow;

enum class AlertStyle { Warning, Informational, Critical };

struct Alert {
  std::string message;
  std::string informative;
  std::string iconPath;  // an image file; empty: the style's own icon
  AlertStyle style = AlertStyle::Warning;
  std::vector<std::string> buttons;  // at least one
};

// The About window's content.
struct AboutBox {
  std::string name;            // the name line
  std::string version;         // the version line
  std::string linkTitle;       // the web link's title
  std::string backgroundPath;  // a picture behind the texts; empty: none
};

// Window: blocks input to `parent` only (a sheet). Application: blocks all
// of the program's windows.
enum class Modality { Window, Application };

// A chooser for one folder, with folder creation.
struct FolderChooser {
  std::string title;
  std::string acceptLabel;
  std::string startFolder;  // empty: the home folder
};

// A chooser for several files and folders at once, with folder creation.
struct FilesChooser {
  std::string title;
  std::string startFolder;  // empty: the home folder
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows the alert and returns at once; `done` runs later on the main
  // thread with the pressed button's index, exactly once (also when the
  // parent window goes away first). `parent` may be null.
  virtual void showAlert(const Alert& alert, WebWindow* parent, Modality modality,
                         std::function<void(int index)> done) = 0;

  // Shows the alert and waits in a nested main loop for the answer. Posted
  // jobs run meanwhile: hold no lock across this call.
  virtual int runAlert(const Alert& alert, WebWindow* parent, Modality modality) = 0;

  // Runs, modal on `parent` (may be null), a chooser for one .jpg, .jpeg,
  // .png or .gif file starting in the home folder, in a nested main loop:
  // hold no lock across it. The chosen path, or "" when cancelled.
  virtual std::string chooseImage(WebWindow* parent) = 0;

  // Shows the About window and returns at once; `linkClicked` runs on the
  // main thread each time its web link is pressed. The window goes when
  // the user closes it.
  virtual void showAbout(const AboutBox& about, std::function<void()> linkClicked) = 0;

  // Shows the folder chooser modal on `parent` (may be null) and returns at
  // once; `done` runs later on the main thread, exactly once, with the
  // chosen folder, or nothing when the user cancelled.
  virtual void chooseFolder(const FolderChooser& chooser, WebWindow* parent,
                            std::function<void(std::optional<std::string> folder)> done) = 0;

  // Shows the files chooser modal on `parent` (may be null) and returns at
  // once; `done` runs later on the main thread, exactly once, with the
  // chosen paths in the chooser's order, or nothing when the user
  // cancelled.
  virtual void chooseFiles(const FilesChooser& chooser, WebWindow* parent,
                           std::function<void(std::optional<std::vector<std::string>> paths)>
                               done) = 0;
};

}  // namespace nb::ui
