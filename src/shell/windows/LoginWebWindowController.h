#pragma once
// The sign-in window. Its page gets the result of a sign-in ("LoginResult")
// once it has loaded; closing it asks first, and closing it while it is on
// screen ends the process.
//
// Threads: main thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/windows/WebWindowController.h"

namespace nb::ui {
class Ui;
}

namespace nb {

class LoginWebWindowController final : public WebWindowController {
 public:
  // How the process ends when the user closed the window (tests replace
  // it); default: ends the process at once with the status.
  using ExitProcess = std::function<void(int status)>;

  // Makes the (hidden) window on the page "index.html#/login" of
  // `uiFolder` and starts loading it (after `beforeLoad`).
  static std::shared_ptr<LoginWebWindowController> create(ui::Ui& ui, const std::string& uiFolder,
                                                          ExitProcess exitProcess = nullptr,
                                                          const BeforeFirstLoad& beforeLoad = {});

  LoginWebWindowController(std::shared_ptr<ui::WebWindow> window, ExitProcess exitProcess);

  // A sign-in result for the page: type, error, error description and,
  // when given, a token. Delivered once the page has loaded.
  void setInfoArray(std::vector<std::string> info) { infoArray_ = std::move(info); }
  const std::optional<std::vector<std::string>>& infoArray() const { return infoArray_; }
  // Delivers a waiting result and drops it.
  void onJudgeDealArray();
  // Raises "LoginResult" {"type","error","error_description","token"}, all
  // strings; a missing item gives "".
  void returnLoginResult(const std::vector<std::string>& list);
  void reloadwebview() { window()->load(strUrl(), std::nullopt); }
  // A sign-in finished: the page loads again.
  void updateUI() { reloadwebview(); }

 private:
  std::optional<std::string> acceptLanguage() const override { return std::nullopt; }
  void pageLoaded() override { onJudgeDealArray(); }
  bool windowShouldClose() override;
  void windowClosed(bool wasVisible) override;

  const ExitProcess exitProcess_;

  // Main thread only.
  std::optional<std::vector<std::string>> infoArray_;
};

}  // namespace nb
