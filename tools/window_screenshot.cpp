// Saves a picture of the Rankora main window, for the README and for looking
// at the layout without a display:
//   QT_QPA_PLATFORM=offscreen window_screenshot [--run] out.png
// With --run it first clicks 开始验证 and waits for the run to end (point
// http_proxy at the stand-in weight service to run against it).
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "ui/qt/main_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments();
  const bool run = arguments.removeAll(QStringLiteral("--run")) > 0;
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: window_screenshot [--run] FILE.png\n");
    return 2;
  }
  rankora::ui::qt::MainWindow window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  if (run) QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
  QApplication::processEvents();
  if (!window.grab().save(arguments[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(arguments[1]));
    return 1;
  }
  return 0;
}
