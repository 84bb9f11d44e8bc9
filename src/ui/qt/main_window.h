// The Rankora main window: a fixed-size window with the domain box, the
// credit line and link button, the results list and the bottom button row,
// each control named as the handlers and tests know it (按钮1, 编辑框1, ...).
#pragma once

#include <QWidget>
#include <memory>

#include "app/program.h"
#include "app/window.h"
#include "ui/qt/controls.h"
#include "ui/qt/settings_dialog.h"

class QEventLoop;
class QLabel;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace rankora::ui::qt {

class ResultModel;

// The client area of the 533 x 468 fixed single-frame window of the original
// layout; every control position below is relative to it. The menu bar sits
// above it, and the window is taller by the bar's height.
inline constexpr int kClientWidth = 527;
inline constexpr int kClientHeight = 437;

class MainWindow final : public QWidget, public app::Window {
  Q_OBJECT

 public:
  // `lookup` defaults to the weight service itself.
  explicit MainWindow(app::Program::Lookup lookup = {});
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  app::StartButton& StartButtonControl() override { return startButton_; }
  app::DomainBox& DomainBoxControl() override { return domainBox_; }
  app::ResultList& ResultListControl() override { return resultList_; }
  app::SaveDialog& SaveDialogControl() override { return *saveDialog_; }
  void ShowMessage(const std::string& text) override;
  void ProcessPendingMessages() override;
  std::optional<std::string> Await(std::function<std::string()> work) override;
  std::function<void(const std::string&)> WorkerMessages() override;
  void OpenAddress(const std::string& address) override;
  app::Places UserPlaces() const override;
  void SetStatus(const std::string& text) override;
  void SetTitle(const std::string& text) override;
  std::function<void(std::function<void()>)> WindowThread() override;
  void ShowRunning(bool running) override;
  bool Ask(const std::string& question) override;
  std::optional<std::filesystem::path> ChooseFile(FileChoice choice) override;
  bool EditSettings(app::Settings& settings) override;
  app::SettingsStore& Store() override { return store_; }

  app::Program& GetProgram() { return *program_; }
  // True when the window was closed while work was still out: that work may
  // be waiting on the network, and the program need not wait for it.
  bool AbandonedWork() const { return abandoned_ || (program_ && program_->Running()); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class InputHold;

  // The widgets, owned by the window as their Qt parent.
  struct Controls {
    QPlainTextEdit* domainEdit;
    QTreeView* resultView;
    ResultModel* resultModel;
    QPushButton* start;
    QPushButton* save;
    QPushButton* sort;
    QPushButton* maker;
  };
  static Controls BuildControls(QWidget* window);
  void BuildMenus();
  void CentreOnScreen();

  QtSettingsStore store_;
  QMenuBar* menuBar_;
  QWidget* client_;  // the original window's client area, below the menu bar
  QLabel* status_;   // the run's progress, below the client area
  // The menu commands that change with a run.
  struct RunActions {
    QAction* stop = nullptr;
    std::vector<QAction*> idleOnly;
  } runActions_;
  Controls controls_;
  QtStartButton startButton_;
  QtDomainBox domainBox_;
  QtResultList resultList_;
  QtSaveDialog* saveDialog_;
  // Messages from other threads come in through this; it closes with the
  // window and lets every waiting thread go.
  struct MessageChannel;
  std::shared_ptr<MessageChannel> messages_;
  QEventLoop* awaiting_ = nullptr;
  bool abandoned_ = false;
  // Keyboard and mouse input held back while work is out; see Await.
  std::unique_ptr<InputHold> inputHold_;
  std::unique_ptr<app::Program> program_;
};

// The window's 32 x 32 icon, drawn rather than loaded so the program carries
// no files beside it.
QIcon MakeAppIcon();

}  // namespace rankora::ui::qt
