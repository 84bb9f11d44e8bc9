#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "app/texts.h"
#include "batch/forms.h"
#include "text/gbk.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/result_model.h"

namespace rankora::ui::qt {
namespace {

// Black on white, as the original controls are; the inactive highlight is the
// background, so a selection does not show while the control has no focus.
void UseBlackOnWhite(QWidget& widget, bool hideInactiveSelection) {
  QPalette palette = widget.palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, Qt::white);
    palette.setColor(group, QPalette::Text, group == QPalette::Disabled ? Qt::gray : Qt::black);
  }
  if (hideInactiveSelection) {
    palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  }
  widget.setPalette(palette);
}

template <typename Control>
Control* Place(QWidget* parent, const char* utf8Name, const QRect& geometry) {
  auto* control = new Control(parent);
  control->setObjectName(QString::fromUtf8(utf8Name));
  control->setGeometry(geometry);
  return control;
}

QPushButton* PlaceButton(QWidget* parent, const char* utf8Name, const QRect& geometry, const std::string& caption) {
  auto* button = Place<QPushButton>(parent, utf8Name, geometry);
  button->setText(ToQString(caption));
  button->setAutoDefault(false);
  return button;
}

QLabel* PlaceLabel(QWidget* parent, const char* utf8Name, const QRect& geometry, const std::string& caption) {
  auto* label = Place<QLabel>(parent, utf8Name, geometry);
  label->setText(ToQString(caption));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  return label;
}

QPlainTextEdit* PlaceDomainEdit(QWidget* parent, const std::string& text) {
  auto* edit = Place<QPlainTextEdit>(parent, "编辑框1", QRect(8, 8, 512, 176));
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setTabChangesFocus(true);
  UseBlackOnWhite(*edit, true);
  QString plain = ToQString(text);
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  edit->setPlainText(plain);
  return edit;
}

QTreeView* PlaceResultView(QWidget* parent, ResultModel* model) {
  auto* view = Place<QTreeView>(parent, "超级列表框1", QRect(8, 215, 512, 184));
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectItems);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSortingEnabled(false);
  UseBlackOnWhite(*view, false);
  QHeaderView* header = view->header();
  header->setVisible(true);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->resizeSection(0, 260);
  header->resizeSection(1, 80);
  return view;
}

}  // namespace

// Holds the user's keyboard and mouse input back while work is out, and hands
// it on in order once the work is over, so clicks and keys wait instead of
// running a handler in the middle of a run. Qt's own ExcludeUserInputEvents
// cannot do this job: it also holds back the window system's close request,
// and a run must end at once when the window is closed.
class MainWindow::InputHold final : public QObject {
 public:
  InputHold() {
    release_.setSingleShot(true);
    connect(&release_, &QTimer::timeout, this, &InputHold::Release);
  }

  // Starts holding, or keeps holding when the next piece of work of the same
  // run starts before the held input was handed on.
  void Hold() {
    release_.stop();
    if (!holding_) QCoreApplication::instance()->installEventFilter(this);
    holding_ = true;
  }

  // Hands the held input on when the event loop next turns. Between two
  // lookups of a run the loop does not turn, so a run holds input from its
  // first lookup to its end.
  void ReleaseSoon() { release_.start(0); }

 private:
  static bool IsInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TouchCancel:
      case QEvent::TabletPress:
      case QEvent::TabletMove:
      case QEvent::TabletRelease:
      case QEvent::ContextMenu:
      case QEvent::NativeGesture:
        return true;
      default:
        return false;
    }
  }

  bool eventFilter(QObject* receiver, QEvent* event) override {
    // Input from the window system reaches a top-level window first, which
    // hands it to the widget under the pointer or with the focus; holding it
    // there holds it before any widget sees it. An input method's text goes
    // straight to the focused widget.
    const bool held = (receiver->isWindowType() && IsInput(event->type())) || event->type() == QEvent::InputMethod;
    if (!held) return false;
    held_.push_back({QPointer<QObject>(receiver), std::unique_ptr<QEvent>(event->clone())});
    return true;
  }

  void Release() {
    QCoreApplication::instance()->removeEventFilter(this);
    holding_ = false;
    std::vector<Held> held = std::move(held_);
    held_.clear();
    for (Held& input : held) {
      if (input.receiver) QCoreApplication::postEvent(input.receiver, input.event.release());
    }
  }

  struct Held {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };
  std::vector<Held> held_;
  QTimer release_;
  bool holding_ = false;
};

struct MainWindow::MessageChannel {
  std::mutex mutex;
  bool open = true;
  std::vector<std::shared_ptr<std::promise<void>>> waiting;

  // Lets one waiting thread go, once.
  void Release(const std::shared_ptr<std::promise<void>>& done) {
    const std::lock_guard lock(mutex);
    const auto found = std::find(waiting.begin(), waiting.end(), done);
    if (found == waiting.end()) return;
    waiting.erase(found);
    done->set_value();
  }

  void Close() {
    const std::lock_guard lock(mutex);
    open = false;
    for (const auto& done : waiting) done->set_value();
    waiting.clear();
  }
};

MainWindow::Controls MainWindow::BuildControls(QWidget* window) {
  const app::Texts& texts = app::GetTexts();
  Controls controls{};
  // Created in the stacking order of the original window description.
  controls.maker = PlaceButton(window, "超级按钮1", QRect(432, 184, 72, 32), texts.makerBrand);
  PlaceLabel(window, "标签2", QRect(16, 184, 408, 32), texts.creditLine);
  controls.sort = PlaceButton(window, "按钮3", QRect(216, 408, 88, 24), texts.sortCaption);
  PlaceLabel(window, "标签1", QRect(352, 408, 152, 24), texts.hint);
  controls.save = PlaceButton(window, "按钮2", QRect(104, 408, 96, 24), texts.saveCaption);
  controls.start = PlaceButton(window, "按钮1", QRect(8, 408, 88, 24), texts.startCaption);
  controls.resultModel = new ResultModel(ToQString(texts.domainHeader), ToQString(texts.weightHeader), window);
  controls.resultView = PlaceResultView(window, controls.resultModel);
  controls.domainEdit = PlaceDomainEdit(window, texts.defaultDomains);
  return controls;
}

MainWindow::MainWindow(app::Program::Lookup lookup)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      menuBar_(new QMenuBar(this)),
      client_(new QWidget(this)),
      status_(new QLabel(this)),
      controls_(BuildControls(client_)),
      startButton_(*controls_.start),
      domainBox_(*controls_.domainEdit),
      resultList_(*controls_.resultView, *controls_.resultModel),
      saveDialog_(new QtSaveDialog(this)),
      messages_(std::make_shared<MessageChannel>()),
      inputHold_(std::make_unique<InputHold>()),
      program_(std::make_unique<app::Program>(*this, std::move(lookup))) {
  setWindowTitle(QStringLiteral("Rankora"));
  setWindowIcon(MakeAppIcon());
  menuBar_->setObjectName(QStringLiteral("菜单栏"));
  client_->setObjectName(QStringLiteral("客户区"));
  BuildMenus();
  const int barHeight = menuBar_->sizeHint().height();
  menuBar_->setGeometry(0, 0, kClientWidth, barHeight);
  client_->setGeometry(0, barHeight, kClientWidth, kClientHeight);
  status_->setObjectName(QStringLiteral("状态栏"));
  status_->setTextFormat(Qt::PlainText);
  const int statusHeight = status_->fontMetrics().height() + 6;
  status_->setGeometry(8, barHeight + kClientHeight, kClientWidth - 16, statusHeight);
  setFixedSize(kClientWidth, barHeight + kClientHeight + statusHeight);
  saveDialog_->setObjectName(QString::fromUtf8("通用对话框1"));
  // Tab order follows the layout from top to bottom.
  setTabOrder(controls_.domainEdit, controls_.maker);
  setTabOrder(controls_.maker, controls_.resultView);
  setTabOrder(controls_.resultView, controls_.start);
  setTabOrder(controls_.start, controls_.save);
  setTabOrder(controls_.save, controls_.sort);

  app::Program& program = *program_;
  connect(controls_.start, &QPushButton::clicked, this, [&program] { program.RunBatch(); });
  connect(controls_.save, &QPushButton::clicked, this, [&program] { program.SaveResults(); });
  connect(controls_.sort, &QPushButton::clicked, this, [&program] { program.SortByWeight(); });
  connect(controls_.maker, &QPushButton::clicked, this, [&program] { program.OpenMakerPage(); });
  connect(controls_.resultView->header(), &QHeaderView::sectionClicked, this,
          [&program](int column) { program.SortByHeader(column); });

  CentreOnScreen();
}

MainWindow::~MainWindow() { messages_->Close(); }

void MainWindow::BuildMenus() {
  using text::Gbk;
  app::Program* program = program_.get();
  const auto add = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
    QAction* action = menu->addAction(ToQString(Gbk(caption)), this, handler);
    action->setObjectName(QString::fromUtf8(name));
    return action;
  };
  QMenu* file = menuBar_->addMenu(ToQString(Gbk("文件(&F)")));
  file->setObjectName(QStringLiteral("文件"));
  runActions_.idleOnly.push_back(add(file, "导入域名", "导入域名(&I)…", [program] { program->ImportDomains(); }));
  add(file, "导出CSV", "导出 CSV(&C)…", [program] { program->ExportCsv(); });
  if (batch::CanWriteWorkbook()) add(file, "导出Excel", "导出 Excel(&E)…", [program] { program->ExportWorkbook(); });
  file->addSeparator();
  add(file, "退出", "退出(&X)", [this] { close(); });
  QMenu* run = menuBar_->addMenu(ToQString(Gbk("查询(&Q)")));
  run->setObjectName(QStringLiteral("查询"));
  runActions_.idleOnly.push_back(add(run, "设置", "设置(&S)…", [program] { program->EditSettings(); }));
  runActions_.stop = add(run, "停止", "停止(&T)", [program] { program->Stop(); });
  runActions_.stop->setShortcut(QKeySequence(Qt::Key_Escape));
  runActions_.stop->setShortcutContext(Qt::WindowShortcut);
  runActions_.stop->setEnabled(false);
  runActions_.idleOnly.push_back(add(run, "重查失败的", "重查失败的(&R)", [program] { program->RetryFailed(); }));
  QMenu* help = menuBar_->addMenu(ToQString(Gbk("帮助(&H)")));
  help->setObjectName(QStringLiteral("帮助"));
  QAction* about = help->addAction(ToQString(Gbk("关于 Rankora(&A)")), this, [program] { program->ShowAbout(); });
  about->setObjectName(QStringLiteral("关于"));
}

app::Places MainWindow::UserPlaces() const {
  // The data folder is the XDG one, ~/.local/share/Rankora unless
  // XDG_DATA_HOME says otherwise; the settings are QSettings' file in the
  // XDG config folder.
  const QString data =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Rankora");
  const QByteArray dataUtf8 = data.toUtf8();
  return {std::filesystem::path(std::u8string(dataUtf8.begin(), dataUtf8.end())),
          FromQString(QtSettingsStore::FileName())};
}

void MainWindow::SetStatus(const std::string& text) { status_->setText(ToQString(text)); }

void MainWindow::SetTitle(const std::string& text) { setWindowTitle(ToQString(text)); }

std::function<void(std::function<void()>)> MainWindow::WindowThread() {
  return [channel = messages_](std::function<void()> task) {
    const std::lock_guard lock(channel->mutex);
    if (!channel->open) return;
    QMetaObject::invokeMethod(
        qApp,
        [channel, task = std::move(task)] {
          // Checked again on the window thread: the window may have gone
          // between the handing over and now.
          bool open = false;
          {
            const std::lock_guard lock(channel->mutex);
            open = channel->open;
          }
          if (open) task();
        },
        Qt::QueuedConnection);
  };
}

void MainWindow::ShowRunning(bool running) {
  runActions_.stop->setEnabled(running);
  for (QAction* action : runActions_.idleOnly) action->setEnabled(!running);
}

bool MainWindow::Ask(const std::string& question) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(app::GetTexts().messageTitle), ToQString(question),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
  box.button(QMessageBox::No)->setText(QStringLiteral("否"));
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::filesystem::path> MainWindow::ChooseFile(FileChoice choice) {
  QString name;
  switch (choice) {
    case FileChoice::kImport:
      name = QFileDialog::getOpenFileName(this, QStringLiteral("导入域名"), {},
                                          QStringLiteral("域名列表 (*.txt *.csv);;所有文件 (*)"));
      break;
    case FileChoice::kExportCsv:
      name = QFileDialog::getSaveFileName(this, QStringLiteral("导出 CSV"), QStringLiteral("rankora.csv"),
                                          QStringLiteral("CSV 文件 (*.csv)"));
      break;
    case FileChoice::kExportWorkbook:
      name = QFileDialog::getSaveFileName(this, QStringLiteral("导出 Excel"), QStringLiteral("rankora.xlsx"),
                                          QStringLiteral("Excel 工作簿 (*.xlsx)"));
      break;
  }
  if (name.isEmpty()) return std::nullopt;
  const QByteArray utf8 = name.toUtf8();
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool MainWindow::EditSettings(app::Settings& settings) {
  SettingsDialog dialog(settings, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings = dialog.Chosen();
  return true;
}

void MainWindow::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(app::GetTexts().messageTitle), ToQString(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void MainWindow::ProcessPendingMessages() { QCoreApplication::processEvents(); }

std::function<void(const std::string&)> MainWindow::WorkerMessages() {
  return [channel = messages_](const std::string& text) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> closed = done->get_future();
    {
      const std::lock_guard lock(channel->mutex);
      if (!channel->open) return;
      channel->waiting.push_back(done);
      const QString title = ToQString(app::GetTexts().messageTitle);
      const QString body = ToQString(text);
      // The box lives on the window thread; it has no owner and does not
      // block the window, and the calling thread waits until it is closed.
      QMetaObject::invokeMethod(
          qApp,
          [channel, done, title, body] {
            auto* box = new QMessageBox(QMessageBox::NoIcon, title, body, QMessageBox::Ok);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            QObject::connect(box, &QDialog::finished, box, [channel, done] { channel->Release(done); });
            QObject::connect(box, &QObject::destroyed, [channel, done] { channel->Release(done); });
            box->show();
          },
          Qt::QueuedConnection);
    }
    closed.wait();
  };
}

void MainWindow::OpenAddress(const std::string& address) { QDesktopServices::openUrl(QUrl(ToQString(address))); }

std::optional<std::string> MainWindow::Await(std::function<std::string()> work) {
  // Shared with the worker; `loop` is touched on this thread only.
  struct Outcome {
    std::mutex mutex;
    std::string result;
    QEventLoop* loop = nullptr;
  };
  auto outcome = std::make_shared<Outcome>();
  QEventLoop loop;
  outcome->loop = &loop;
  awaiting_ = &loop;
  std::thread([outcome, work = std::move(work)] {
    std::string result;
    try {
      result = work();
    } catch (...) {
      result.clear();
    }
    {
      const std::lock_guard lock(outcome->mutex);
      outcome->result = std::move(result);
    }
    // Back on the window thread: end the wait (if anyone still waits).
    QMetaObject::invokeMethod(
        qApp,
        [outcome] {
          if (outcome->loop != nullptr) outcome->loop->quit();
        },
        Qt::QueuedConnection);
  }).detach();
  // Paints, timers and the window system's close request go on; clicks and
  // keys are held until the run ends.
  inputHold_->Hold();
  loop.exec();
  inputHold_->ReleaseSoon();
  outcome->loop = nullptr;
  awaiting_ = nullptr;
  if (abandoned_) return std::nullopt;
  const std::lock_guard lock(outcome->mutex);
  return outcome->result;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Whatever the list holds, closing ends the program; nothing is saved. A
  // run in progress ends with it.
  event->accept();
  if (awaiting_ != nullptr) {
    abandoned_ = true;
    awaiting_->quit();
  }
  QCoreApplication::quit();
}

void MainWindow::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace rankora::ui::qt
