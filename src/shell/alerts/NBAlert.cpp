#include "shell/alerts/NBAlert.h"

#include <future>

#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/ui/Ui.h"

namespace nb {

namespace {

using platform::MainThread;

ui::Alert makeAlert(const NBAlert::Content& content, std::vector<std::string> buttons) {
  ui::Alert alert;
  alert.message = content.message;
  alert.informative = content.informative;
  alert.iconPath = content.iconPath;
  alert.style = content.style;
  alert.buttons = std::move(buttons);
  return alert;
}

int lastButton(const ui::Alert& alert) { return static_cast<int>(alert.buttons.size()) - 1; }

// Shows the alert and reports the pressed index through `done` on the main
// thread; without a user interface, reports the last button.
void showOnMain(const ui::Alert& alert, const std::shared_ptr<ui::WebWindow>& window,
                ui::Modality modality, std::function<void(int)> done) {
  auto ui = ui::currentUi("alert");
  if (!ui) {
    MainThread::post([done = std::move(done), index = lastButton(alert)] { done(index); });
    return;
  }
  ui->dialogs().showAlert(alert, window.get(), modality, std::move(done));
}

// Waits for the answer: a nested loop on the main thread; elsewhere the
// dialog is opened on the main thread and this thread waits for its
// response, so the main thread never waits for us.
int askAndWait(const ui::Alert& alert, const std::shared_ptr<ui::WebWindow>& window,
               ui::Modality modality) {
  if (MainThread::isMainThread()) {
    auto ui = ui::currentUi("alert");
    if (!ui) return lastButton(alert);
    return ui->dialogs().runAlert(alert, window.get(), modality);
  }
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> future = answer->get_future();
  MainThread::postAndWait([&] {
    showOnMain(alert, window, modality, [answer](int index) { answer->set_value(index); });
  });
  return future.get();
}

}  // namespace

void NBAlert::showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                        const Content& content,
                                        const std::vector<std::string>& otherButtonTitles,
                                        std::function<void(int code)> onDismiss) {
  showOnMain(makeAlert(content, otherButtonTitles), window, ui::Modality::Window,
             [onDismiss = std::move(onDismiss)](int index) {
               if (onDismiss) onDismiss(kFirstButtonReturn + index);
             });
}

void NBAlert::showSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                      const Content& content,
                                      const std::optional<std::string>& cancelButtonTitle,
                                      const std::vector<std::string>& otherButtonTitles,
                                      std::function<void(int index)> onDismiss,
                                      std::function<void()> onCancel) {
  std::vector<std::string> buttons = otherButtonTitles;
  const bool hasCancelButton = cancelButtonTitle.has_value();
  if (hasCancelButton) buttons.push_back(*cancelButtonTitle);
  const int count = static_cast<int>(buttons.size());
  showOnMain(makeAlert(content, std::move(buttons)), window, ui::Modality::Window,
             [hasCancelButton, count, onDismiss = std::move(onDismiss),
              onCancel = std::move(onCancel)](int index) {
               if (hasCancelButton && index == count - 1) {
                 if (onCancel) onCancel();
               } else if (onDismiss) {
                 onDismiss(index);
               }
             });
}

void NBAlert::showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                        const Content& content, const char* cancelButtonTitle) {
  const ui::Alert alert = makeAlert(content, {cancelButtonTitle ? cancelButtonTitle : ""});
  if (MainThread::isMainThread()) {
    showOnMain(alert, window, ui::Modality::Window, [](int) {});
    return;
  }
  askAndWait(alert, window, ui::Modality::Window);
}

int NBAlert::showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                       const Content& content,
                                       const std::vector<std::string>& buttonTitles) {
  (void)window;  // the question concerns the whole application
  std::vector<std::string> buttons;
  for (const std::string& title : buttonTitles) {
    if (!title.empty()) buttons.push_back(title);
  }
  if (buttons.empty()) {
    // An alert always has a button to answer with.
    NBLOG_WARN("a question without buttons: {}", content.message);
    buttons.push_back("OK");
  }
  return kFirstButtonReturn +
         askAndWait(makeAlert(content, std::move(buttons)), nullptr, ui::Modality::Application);
}

int NBAlert::runModalSheetForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                    const Content& content,
                                    const std::vector<std::string>& buttonTitles) {
  return kFirstButtonReturn +
         askAndWait(makeAlert(content, buttonTitles), window, ui::Modality::Window);
}

}  // namespace nb
