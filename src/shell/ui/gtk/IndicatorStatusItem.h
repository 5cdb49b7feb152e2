#pragma once
// The status item as a StatusNotifierItem (libayatana-appindicator). The
// item takes icons by name from a theme folder, so each picture shown is
// written as a PNG into a private folder first; the spinner becomes ten
// pre-rotated pictures shown in turn. The launcher badge goes out as the
// com.canonical.Unity.LauncherEntry signal that docks listen for.
//
// A desktop without a status-notifier host (stock GNOME without the
// extension) shows nothing; the item keeps its state for when a host
// appears. Threads: main thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/ui/StatusItem.h"

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

namespace nb::ui {

class IndicatorStatusItem final : public StatusItem {
 public:
  // `id` names the program to the host and the docks.
  explicit IndicatorStatusItem(const std::string& id);
  ~IndicatorStatusItem() override;
  IndicatorStatusItem(const IndicatorStatusItem&) = delete;
  IndicatorStatusItem& operator=(const IndicatorStatusItem&) = delete;

  void setImage(const std::string& file, bool monochrome) override;
  void setSpinningImage(const std::string& background, const std::string& spinner) override;
  void setLabel(const std::string& text) override;
  void setBadgeCount(std::int64_t count) override;
  void setMenu(std::vector<MenuEntry> entries) override;

  // The folder the pictures are written to.
  const std::string& themeFolder() const { return themeFolder_; }

 private:
  void showIcon(const std::string& name);
  void stopSpinning();
  // The icon name of a picture written before; "" when it cannot be read.
  std::string pictureFor(const std::string& file, bool monochrome);

  const std::string id_;
  std::string themeFolder_;
  AppIndicator* indicator_ = nullptr;
  GtkWidget* menu_ = nullptr;                  // owned through a sunk reference
  std::map<std::string, std::string> names_;   // picture key -> icon name
  std::vector<std::string> frames_;            // the spinner's pictures
  std::size_t frame_ = 0;
  unsigned spinTimer_ = 0;
  int nextName_ = 0;
};

}  // namespace nb::ui
