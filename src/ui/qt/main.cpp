#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "files/memory.h"
#include "ui/qt/main_window.h"

int main(int argc, char* argv[]) {
  rankora::files::KeepFreedMemory();
  QApplication application(argc, argv);
  // The program-wide state (the last save file name) lives in the window's
  // Program and is released with it when the loop has ended.
  rankora::app::LoadStartupDictionary();
  int code = 0;
  bool abandoned = false;
  {
    rankora::ui::qt::MainWindow window;
    window.show();
    // Once the window is up: the last start's unfinished run is offered.
    QTimer::singleShot(0, &window, [&window] { window.GetProgram().OfferToResume(); });
    code = QApplication::exec();
    abandoned = window.AbandonedWork();
    // A save still writing finishes its file first.
    window.GetProgram().WaitForSaves();
  }
  // A lookup still waiting on the network when the window closed has
  // nothing to keep: end now instead of waiting out its time-out.
  if (abandoned) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
