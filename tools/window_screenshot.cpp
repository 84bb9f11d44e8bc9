// Saves a picture of the Rankora main window, for the README and for looking
// at the layout without a display:
//   QT_QPA_PLATFORM=offscreen window_screenshot [--run] [--page PROXY]...
//       [--service URL] [--settings DIALOG.png] out.png
// With --run it first clicks 开始验证 and waits for the run to end (point
// http_proxy at the stand-in weight service to run the seed's request
// against it). Each --page PROXY makes the run one of today's page through
// that exit (the stand-in weight service is one), --service names the
// service's address to ask through them (http://www.aizhan.com for the
// stand-in), and --settings also saves the settings dialog as it opens. The
// settings and the run's journal are kept in folders of the tool's own,
// never the user's.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "ui/qt/main_window.h"
#include "ui/qt/settings_dialog.h"

int main(int argc, char* argv[]) {
  const QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
  qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments();
  const bool run = arguments.removeAll(QStringLiteral("--run")) > 0;
  std::string proxies;
  QString service, dialogFile;
  for (qsizetype i = 1; i + 1 < arguments.size();) {
    if (arguments[i] == QStringLiteral("--page")) {
      proxies += arguments[i + 1].toStdString() + "\r\n";
    } else if (arguments[i] == QStringLiteral("--service")) {
      service = arguments[i + 1];
    } else if (arguments[i] == QStringLiteral("--settings")) {
      dialogFile = arguments[i + 1];
    } else {
      ++i;
      continue;
    }
    arguments.remove(i, 2);
  }
  if (arguments.size() != 2) {
    std::fprintf(stderr,
                 "usage: window_screenshot [--run] [--page PROXY]... [--service URL] [--settings DIALOG.png] "
                 "FILE.png\n");
    return 2;
  }
  if (!proxies.empty()) {
    rankora::app::Settings settings;
    settings.source = rankora::lookup::SourceKind::kPage;
    settings.proxies = proxies;
    settings.perMinute = 0;
    rankora::ui::qt::QtSettingsStore store;
    rankora::app::SaveSettings(store, settings);
  }
  rankora::ui::qt::MainWindow window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  rankora::app::Program& program = window.GetProgram();
  if (!service.isEmpty()) program.UseService(service.toStdString());
  if (!dialogFile.isEmpty()) {
    rankora::ui::qt::SettingsDialog dialog(program.CurrentSettings(), &window);
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog) || !dialog.grab().save(dialogFile)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(dialogFile));
      return 1;
    }
  }
  if (run) {
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
    if (!QTest::qWaitFor([&program] { return !program.Running(); }, 120000))
      std::fprintf(stderr, "the run did not end\n");
  }
  QApplication::processEvents();
  if (!window.grab().save(arguments[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(arguments[1]));
    return 1;
  }
  return 0;
}
