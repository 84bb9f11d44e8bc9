// The sort, save and link buttons through the real window.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "modal.h"
#include "qt_window_driver.h"
#include "text/gbk.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_text.h"

namespace rankora::ui::qt {
namespace {

using rankora::testing::WhenModalOf;
using rankora::testing::WhenShownOf;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class ButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override { window_.show(); }
  void Add(const std::string& domain, const std::string& weight) {
    app::ResultList& list = window_.ResultListControl();
    const int row = list.InsertRow();
    list.SetCellText(row, 0, domain);
    list.SetCellText(row, 1, weight);
  }
  std::vector<std::string> Column(int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < window_.ResultListControl().RowCount(); ++row) {
      cells.push_back(window_.ResultListControl().CellText(row, column));
    }
    return cells;
  }
  void Press(const char* name) { QTest::mouseClick(window_.findChild<QPushButton*>(Q(name)), Qt::LeftButton); }

  MainWindow window_;
};

// Presses Save in the dialog with `path` chosen (and agrees to replace it if
// asked), then returns the message the save shows (and closes it).
QString SaveThroughTheWindow(MainWindow& window, const QString& path, bool replacing = false) {
  WhenModalOf<QFileDialog>([&](QFileDialog* dialog) {
    if (replacing) {
      WhenModalOf<QMessageBox>([](QMessageBox* overwrite) { overwrite->button(QMessageBox::Yes)->click(); });
    }
    dialog->selectFile(path);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
  });
  QTest::mouseClick(window.findChild<QPushButton*>(Q("按钮2")), Qt::LeftButton);
  QMessageBox* shown = nullptr;
  WhenShownOf<QMessageBox>([&](QMessageBox* box) { shown = box; });
  if (!QTest::qWaitFor([&] { return shown != nullptr; })) return {};
  const QString text = shown->text();
  shown->button(QMessageBox::Ok)->click();
  window.GetProgram().WaitForSaves();
  return text;
}

TEST_F(ButtonsTest, AFileNameGbkCannotHoldIsTheFileWritten) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString path = folder.filePath(Q("결과😀.txt"));
  Add("A", "3");
  EXPECT_EQ(SaveThroughTheWindow(window_, path), Q("保存成功！"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), "A | 3\r\n");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{Q("결과😀.txt")});
}

TEST_F(ButtonsTest, AFailedSaveSaysSoAndWhy) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  Add("A", "3");
  QFile old(folder.filePath(Q("old.txt")));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old.com | 1\r\n");
  old.close();
  old.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  const QString message = SaveThroughTheWindow(window_, old.fileName(), true);
  EXPECT_TRUE(message.startsWith(Q("保存失败："))) << message.toStdString();
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old.com | 1\r\n");
}

class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QUrl opened;

 public slots:
  void Open(const QUrl& url) { opened = url; }
};

TEST_F(ButtonsTest, LinkButtonOpensTheMakersPage) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  Press("超级按钮1");
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_EQ(catcher.opened, QUrl("http://www.quillon.example/?quanzhong"));
}

using contract::WindowSortSaveContract;
INSTANTIATE_TEST_SUITE_P(Qt, WindowSortSaveContract, ::testing::Values(contract::kQtWindow), contract::KindName);

}  // namespace
}  // namespace rankora::ui::qt

#include "sort_save_test.moc"
