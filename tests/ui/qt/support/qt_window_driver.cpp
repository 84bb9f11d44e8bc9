#include "qt_window_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "modal.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_text.h"

namespace rankora::ui::contract {
namespace {

using qt::MainWindow;
using rankora::testing::WhenModalOf;
using rankora::testing::WhenShownOf;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

ShownBox Record(QMessageBox* box) {
  return {box->windowTitle().toStdString(), box->text().toStdString(), static_cast<int>(box->buttons().size()),
          box->parentWidget() != nullptr};
}

class QtBoxAnswer final : public BoxAnswer {
 public:
  explicit QtBoxAnswer(std::function<void()> whileShown, QMessageBox::StandardButton button = QMessageBox::Ok) {
    WhenModalOf<QMessageBox>([state = state_, whileShown = std::move(whileShown), button](QMessageBox* box) {
      if (whileShown) whileShown();
      state->shown = Record(box);
      state->answered = true;
      box->button(button)->click();
    });
  }
  bool Wait() override {
    return QTest::qWaitFor([this] { return state_->answered; });
  }
  ShownBox What() const override { return state_->shown; }

 private:
  // Shared with the watch, which may outlive the answer when no box came.
  struct State {
    bool answered = false;
    ShownBox shown;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

class QtWindowDriver final : public WindowDriver {
 public:
  explicit QtWindowDriver(app::Program::Lookup lookup) : window_(std::move(lookup)) {}

  app::Window& Window() override { return window_; }
  app::Program& Program() override { return window_.GetProgram(); }
  bool AbandonedWork() override { return window_.AbandonedWork(); }
  void Show() override {
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  bool IsVisible() override { return window_.isVisible(); }
  void SetDomainText(const std::u16string& text) override {
    Named<QPlainTextEdit>("编辑框1")->setPlainText(QString::fromStdU16String(text));
  }
  void Click(const char* name) override { QTest::mouseClick(Named<QAbstractButton>(name), Qt::LeftButton); }
  void ChooseMenu(const char* name) override {
    QAction* action = window_.findChild<QAction*>(QString::fromUtf8(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
  std::vector<std::string> MenuTitles() override {
    std::vector<std::string> titles;
    for (const QAction* menu : Named<QMenuBar>("菜单栏")->actions()) titles.push_back(menu->text().toStdString());
    return titles;
  }
  std::string Caption(const char* name) override {
    return Named<QWidget>(name)->property("text").toString().toStdString();
  }
  bool IsEnabled(const char* name) override { return Named<QWidget>(name)->isEnabled(); }
  void ClickHeader(int column) override {
    QHeaderView* header = List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(column) + 10, 5));
  }
  std::string HeaderText(int column) override {
    return List()->model()->headerData(column, Qt::Horizontal).toString().toStdString();
  }
  int ColumnWidth(int column) override { return List()->header()->sectionSize(column); }
  std::string ShownCell(int row, int column) override {
    const QAbstractItemModel* model = List()->model();
    return model->data(model->index(row, column)).toString().toStdString();
  }
  std::unique_ptr<BoxAnswer> AnswerMessage(std::function<void()> whileShown) override {
    return std::make_unique<QtBoxAnswer>(std::move(whileShown));
  }

  SaveSeen SaveThroughTheWindow(const SaveAnswer& answer) override {
    SaveSeen seen;
    WhenModalOf<QFileDialog>([&](QFileDialog* dialog) {
      seen.offered = dialog->findChild<QLineEdit*>()->text().toStdString();
      if (answer.cancel) {
        dialog->reject();
        return;
      }
      if (answer.replace) {
        WhenModalOf<QMessageBox>([&seen](QMessageBox* overwrite) {
          seen.askedToReplace = true;
          overwrite->button(QMessageBox::Yes)->click();
        });
      }
      dialog->selectFile(qt::FromPath(answer.file));
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    });
    Click("按钮2");
    if (answer.cancel) return seen;
    // The confirmation comes from the save's own thread, not modal.
    QMessageBox* shown = nullptr;
    WhenShownOf<QMessageBox>([&](QMessageBox* box) { shown = box; });
    if (!QTest::qWaitFor([&] { return shown != nullptr; })) return seen;
    seen.confirmed = true;
    seen.confirmation = Record(shown);
    seen.windowUsable = window_.isEnabled() && shown->windowModality() == Qt::NonModal;
    shown->button(QMessageBox::Ok)->click();
    window_.GetProgram().WaitForSaves();
    return seen;
  }

  bool CloseAsTheUserDoes() override { return window_.close() && QApplication::activeModalWidget() == nullptr; }

  SettingsSeen EnterSettings(const SettingsInput& input) override {
    SettingsSeen seen;
    WhenModalOf<QDialog>([&seen, input](QDialog* dialog) {
      const auto named = [dialog](const char* name) { return dialog->findChild<QWidget*>(Q(name)); };
      qobject_cast<QComboBox*>(named("来源"))->setCurrentIndex(input.source);
      qobject_cast<QLineEdit*>(named("key"))->setText(QString::fromStdString(input.key));
      qobject_cast<QLineEdit*>(named("cookie"))->setText(QString::fromStdString(input.cookie));
      qobject_cast<QPlainTextEdit*>(named("代理"))->setPlainText(QString::fromStdString(input.proxies));
      qobject_cast<QSpinBox*>(named("每分钟"))->setValue(input.perMinute);
      qobject_cast<QSpinBox*>(named("同时"))->setValue(input.inFlight);
      qobject_cast<QSpinBox*>(named("冷却"))->setValue(input.coolDownMinutes);
      // A refusal comes as a box over the dialog while 确定's click goes
      // on; it is answered and the dialog then cancelled.
      QTimer watch;
      QObject::connect(&watch, &QTimer::timeout, [&seen, dialog] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen.problem = box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
        QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
      });
      watch.start(10);
      qobject_cast<QPushButton*>(named("确定"))->click();
    });
    const app::Settings before = window_.GetProgram().CurrentSettings();
    ChooseMenu("设置");
    seen.accepted = seen.problem.empty() && !(window_.GetProgram().CurrentSettings() == before);
    return seen;
  }
  void ChooseMenuWithFile(const char* name, const std::filesystem::path& file) override {
    WhenModalOf<QFileDialog>([file](QFileDialog* dialog) {
      dialog->selectFile(qt::FromPath(file));
      QMetaObject::invokeMethod(dialog, "accept");
    });
    ChooseMenu(name);
  }
  std::unique_ptr<BoxAnswer> AnswerQuestion(bool yes) override {
    return std::make_unique<QtBoxAnswer>(std::function<void()>(), yes ? QMessageBox::Yes : QMessageBox::No);
  }
  bool IsMenuEnabled(const char* name) override {
    const QAction* action = window_.findChild<QAction*>(Q(name));
    return action != nullptr && action->isEnabled();
  }
  std::string StatusText() override { return Named<QLabel>("状态栏")->text().toStdString(); }
  std::string TitleText() override { return window_.windowTitle().toStdString(); }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience) override {
    return QTest::qWaitFor(done, static_cast<int>(patience.count()));
  }

 private:
  template <typename T>
  T* Named(const char* name) {
    T* control = window_.findChild<T*>(Q(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QTreeView* List() { return Named<QTreeView>("超级列表框1"); }

  MainWindow window_;
};

std::unique_ptr<WindowDriver> MakeQtDriver(app::Program::Lookup lookup) {
  return std::make_unique<QtWindowDriver>(std::move(lookup));
}

}  // namespace

namespace {

// The test program's own XDG folders (see qt_test_main.cpp) emptied.
void ForgetQtUserState() {
  QFile::remove(qt::QtSettingsStore::FileName());
  QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Rankora"))
      .removeRecursively();
}

}  // namespace

const WindowKind kQtWindow{"qt", &MakeQtDriver, &ForgetQtUserState};

}  // namespace rankora::ui::contract
