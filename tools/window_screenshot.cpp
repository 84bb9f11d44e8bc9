// Saves a picture of the Rankora main window as it opens, for the README and
// for looking at the layout without a display:
//   QT_QPA_PLATFORM=offscreen window_screenshot out.png
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "ui/qt/main_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: window_screenshot FILE.png\n");
    return 2;
  }
  rankora::ui::qt::MainWindow window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  QApplication::processEvents();
  if (!window.grab().save(arguments[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(arguments[1]));
    return 1;
  }
  return 0;
}
