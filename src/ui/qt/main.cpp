#include <QApplication>

#include "app/memory.h"
#include "app/program.h"
#include "ui/qt/main_window.h"

int main(int argc, char* argv[]) {
  rankora::app::KeepFreedMemory();
  QApplication application(argc, argv);
  // The program-wide state (the last save file name) lives in the window's
  // Program and is released with it when the loop has ended.
  rankora::app::LoadStartupDictionary();
  rankora::ui::qt::MainWindow window;
  window.show();
  return QApplication::exec();
}
