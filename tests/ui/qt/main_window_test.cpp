#include "ui/qt/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "app/texts.h"
#include "modal.h"
#include "qt_window_driver.h"
#include "text/gbk.h"
#include "ui/qt/qt_text.h"

namespace rankora::ui::qt {
namespace {

using rankora::testing::WhenModal;
using rankora::testing::WhenModalOf;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// Confirms a file dialog as the user does, with its Save button.
void PressSave(QFileDialog* dialog) {
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QPushButton* save = buttons->button(QDialogButtonBox::Save);
  ASSERT_NE(save, nullptr);
  save->click();
}

class MainWindowTest : public ::testing::Test {
 protected:
  template <typename T>
  T* Control(const char* name) {
    T* control = window_.findChild<T*>(Q(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  MainWindow window_;
};

TEST_F(MainWindowTest, IsAFixedWindowTitledRankoraWithoutMinimiseOrMaximise) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  EXPECT_EQ(window_.windowTitle(), "Rankora");
  // The original window's client area, with the menu bar above it.
  auto* client = Control<QWidget>("客户区");
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->size(), QSize(527, 437));
  auto* bar = Control<QWidget>("菜单栏");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(client->y(), bar->height());
  // The status line of a long run below it.
  auto* status = Control<QWidget>("状态栏");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->y(), bar->height() + 437);
  EXPECT_EQ(window_.size(), QSize(527, bar->height() + 437 + status->height()));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(window_.windowIcon().isNull());
  EXPECT_EQ(window_.windowIcon().pixmap(32, 32).size(), QSize(32, 32));
  EXPECT_EQ(window_.font(), QApplication::font());
}

TEST_F(MainWindowTest, IsCentredOnTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect frame = window_.frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
}

struct Placement {
  const char* name;
  QRect geometry;
  const char* caption;  // UTF-8; nullptr where the control has no caption
};

TEST_F(MainWindowTest, PlacesEveryControlWithItsCaption) {
  const std::string credit = "Quillon外链代发提供 官方网站：www.quillon.example - 调用爱站的权重";
  const Placement placements[] = {
      {"超级按钮1", QRect(432, 184, 72, 32), "Quillon"},
      {"标签2", QRect(16, 184, 408, 32), credit.c_str()},
      {"按钮3", QRect(216, 408, 88, 24), "高低排序"},
      {"标签1", QRect(352, 408, 152, 24), "权重不可查询时会自动停止"},
      {"按钮2", QRect(104, 408, 96, 24), "导出成功的权重"},
      {"按钮1", QRect(8, 408, 88, 24), "开始验证"},
      {"超级列表框1", QRect(8, 215, 512, 184), nullptr},
      {"编辑框1", QRect(8, 8, 512, 176), nullptr},
  };
  const QRect client = Control<QWidget>("客户区")->rect();
  for (const Placement& placement : placements) {
    SCOPED_TRACE(placement.name);
    auto* widget = Control<QWidget>(placement.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), placement.geometry);
    EXPECT_TRUE(client.contains(widget->geometry()));
    if (placement.caption == nullptr) continue;
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), Q(placement.caption));
      EXPECT_TRUE(button->isEnabled());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), Q(placement.caption));
    } else {
      ADD_FAILURE() << "no caption to read";
    }
  }
  EXPECT_NE(window_.findChild<QObject*>(Q("通用对话框1")), nullptr);
}

TEST_F(MainWindowTest, CaptionsFitTheirControls) {
  window_.show();
  for (const char* name : {"超级按钮1", "按钮1", "按钮2", "按钮3", "标签1"}) {
    SCOPED_TRACE(name);
    auto* widget = Control<QWidget>(name);
    const QString caption = widget->property("text").toString();
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(caption), widget->width() - 4);
  }
  auto* credit = Control<QLabel>("标签2");
  EXPECT_LE(credit->heightForWidth(credit->width()), credit->height());
}

TEST_F(MainWindowTest, DomainBoxWrapsScrollsAndReadsBackWithCrLf) {
  auto* edit = Control<QPlainTextEdit>("编辑框1");
  EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(edit->isReadOnly());
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, "www.a.com");
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClicks(edit, "www.b.com");
  QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
  // Chinese arrives through the input method, as it does from a user.
  QInputMethodEvent typed;
  typed.setCommitString(Q("百度"));
  QApplication::sendEvent(edit, &typed);
  QTest::keyClicks(edit, " | 7");
  EXPECT_EQ(window_.DomainBoxControl().Text(), text::Gbk("www.a.com\r\nwww.b.com\r\n百度 | 7"));
}

// Its columns and their widths: WindowControlsContract.
TEST_F(MainWindowTest, ResultListStartsEmptyWithTwoClickableHeaders) {
  auto* view = Control<QTreeView>("超级列表框1");
  EXPECT_EQ(view->model()->rowCount(), 0);
  EXPECT_FALSE(view->isHeaderHidden());
  EXPECT_TRUE(view->header()->sectionsClickable());
  EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_FALSE(view->rootIsDecorated());
  EXPECT_FALSE(view->isSortingEnabled());
}

// Title, text, buttons and owner: WindowControlsContract.
TEST_F(MainWindowTest, MessageBoxBlocksTheWholeProgram) {
  Qt::WindowModality modality = Qt::NonModal;
  WhenModalOf<QMessageBox>([&](QMessageBox* box) {
    ASSERT_NE(box, nullptr);
    modality = box->windowModality();
    box->button(QMessageBox::Ok)->click();
  });
  window_.ShowMessage(app::GetTexts().restrictedMessage);
  EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST(NameFiltersFromPipeList, MakesOneQtFilterPerPair) {
  EXPECT_EQ(NameFiltersFromPipeList("*.txt|*.txt|"), QStringList{"*.txt"});
  EXPECT_EQ(NameFiltersFromPipeList("*.txt|*.txt"), QStringList{"*.txt"});
  EXPECT_EQ(NameFiltersFromPipeList("*.txt|*.txt||"), QStringList{"*.txt"});
  EXPECT_EQ(NameFiltersFromPipeList("Text|*.txt;*.log|All|*.*||"), (QStringList{"Text (*.txt *.log)", "All (*.*)"}));
}

class SaveDialogTest : public MainWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    previous_ = QDir::currentPath();
  }
  void TearDown() override { QDir::setCurrent(previous_); }

  QTemporaryDir folder_;
  QString previous_;
};

TEST_F(SaveDialogTest, AcceptsANewFileAndRemembersItsFullPath) {
  app::SaveDialog& dialog = window_.SaveDialogControl();
  EXPECT_EQ(dialog.FileName(), "*.txt");
  const QString target = folder_.filePath(Q("结果.txt"));
  QStringList filters;
  QString offered;
  bool native = true;
  WhenModalOf<QFileDialog>([&](QFileDialog* shown) {
    ASSERT_NE(shown, nullptr);
    filters = shown->nameFilters();
    offered = shown->findChild<QLineEdit*>()->text();
    native = !shown->testOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(shown->defaultSuffix().isEmpty());
    shown->selectFile(target);
    PressSave(shown);
  });
  ASSERT_TRUE(dialog.Show());
  EXPECT_EQ(filters, QStringList{"*.txt"});
  EXPECT_EQ(offered, "*.txt");
  EXPECT_FALSE(native);
  EXPECT_EQ(dialog.FileName(), ToPath(target));
  EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder_.path()).canonicalPath());

  // The next showing offers the chosen path; cancelling keeps it.
  QString offeredAgain, shownFolder;
  WhenModalOf<QFileDialog>([&](QFileDialog* shown) {
    offeredAgain = shown->findChild<QLineEdit*>()->text();
    shownFolder = shown->directory().canonicalPath();
    shown->reject();
  });
  EXPECT_FALSE(dialog.Show());
  EXPECT_EQ(offeredAgain, Q("结果.txt"));
  EXPECT_EQ(shownFolder, QDir(folder_.path()).canonicalPath());
  EXPECT_EQ(dialog.FileName(), ToPath(target));
}

TEST_F(SaveDialogTest, OpensInTheInitialFolderAtFirst) {
  app::SaveDialog& dialog = window_.SaveDialogControl();
  dialog.SetInitialFolder(ToPath(folder_.path()));
  QString shownFolder;
  WhenModalOf<QFileDialog>([&](QFileDialog* shown) {
    shownFolder = shown->directory().canonicalPath();
    shown->reject();
  });
  EXPECT_FALSE(dialog.Show());
  EXPECT_EQ(shownFolder, QDir(folder_.path()).canonicalPath());
  EXPECT_EQ(dialog.FileName(), "*.txt");
}

TEST_F(SaveDialogTest, RefusesAFileInAMissingFolder) {
  app::SaveDialog& dialog = window_.SaveDialogControl();
  bool warned = false;
  bool stillOpen = false;
  WhenModalOf<QFileDialog>([&](QFileDialog* shown) {
    WhenModalOf<QMessageBox>([&](QMessageBox* box) {
      warned = box != nullptr;
      box->accept();
    });
    shown->selectFile(folder_.filePath("missing/result.txt"));
    PressSave(shown);
    stillOpen = shown->isVisible();
    shown->reject();
  });
  EXPECT_FALSE(dialog.Show());
  EXPECT_TRUE(warned);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(dialog.FileName(), "*.txt");
}

using contract::WindowControlsContract;
INSTANTIATE_TEST_SUITE_P(Qt, WindowControlsContract, ::testing::Values(contract::kQtWindow), contract::KindName);

}  // namespace
}  // namespace rankora::ui::qt
