// The Rankora main window in Win32: a fixed single-frame window titled
// Rankora with its menu bar, the domain box, the credit line and link button,
// the results list, the bottom button row and the status line, laid out as layout.h says at 96 DPI and
// scaled with the DPI of its monitor. Its controls are found by the IDs of
// layout.h. Created hidden; everything runs on the thread that created it.
#pragma once

#include <memory>
#include <vector>

#include "app/program.h"
#include "app/window.h"
#include "ui/win32/controls.h"
#include "ui/win32/gdi_object.h"
#include "ui/win32/registry_store.h"

struct HFONT__;
struct tagMSG;

namespace rankora::ui::win32 {

class MainWindow final : public app::Window {
 public:
  // `lookup` defaults to the weight service itself.
  explicit MainWindow(app::Program::Lookup lookup = {});
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  app::StartButton& StartButtonControl() override { return startButton_; }
  app::DomainBox& DomainBoxControl() override { return domainBox_; }
  app::ResultList& ResultListControl() override { return resultList_; }
  app::SaveDialog& SaveDialogControl() override { return saveDialog_; }
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

  HWND Handle() const { return window_; }
  // The control with this ID of layout.h.
  HWND Control(int id) const;
  void Show(int showCommand);
  // Runs the thread's message loop until the window is closed; gives the
  // exit code.
  int RunMessageLoop();
  // True once the user has closed the window.
  bool Closed() const { return closed_; }
  // True when the window was closed while work was still out: that work may
  // be waiting on the network, and the program need not wait for it. A long
  // run's finished rows are in its journal already.
  bool AbandonedWork() const { return abandoned_ || (program_ && program_->Running()); }
  unsigned Dpi() const { return dpi_; }

  app::Program& GetProgram() { return *program_; }

  // The window procedure's way in; not for other callers. An exception may
  // leave it: the window procedure stops it there.
  std::intptr_t Receive(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

 private:
  struct MessageChannel;

  void CreateControls();
  void ApplyDpi(unsigned dpi);
  void RunHandler(void (app::Program::*handler)());
  void HandleWaitingMessages();
  void ReleaseHeldInput();
  // Esc while a long run goes: 停止. True when `message` was that key.
  bool HandleStopKey(const tagMSG& message);
  void RunNextTask();

  HWND window_ = nullptr;
  unsigned dpi_ = 96;
  // The controls' font: the system's own, or one made for the monitor's DPI
  // and held in scaledFont_.
  HFONT__* font_ = nullptr;
  GdiObject<HFONT__*> scaledFont_;
  Win32StartButton startButton_;
  Win32DomainBox domainBox_;
  Win32ResultList resultList_;
  Win32SaveDialog saveDialog_;
  RegistryStore store_;
  std::shared_ptr<MessageChannel> messages_;
  // Click handlers now running, nested ones counted too.
  int handlersRunning_ = 0;
  int awaiting_ = 0;
  bool closed_ = false;
  bool abandoned_ = false;
  // Keyboard and mouse input that came while work was out, in order.
  std::vector<std::unique_ptr<tagMSG>> held_;
  std::unique_ptr<app::Program> program_;
};

}  // namespace rankora::ui::win32
