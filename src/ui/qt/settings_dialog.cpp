#include "ui/qt/settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/texts.h"
#include "text/gbk.h"
#include "ui/qt/qt_text.h"

namespace rankora::ui::qt {
namespace {

QString Words(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename Control>
Control* Named(Control* control, const char* utf8Name) {
  control->setObjectName(QString::fromUtf8(utf8Name));
  return control;
}

QSpinBox* Number(const char* name, int least, int most, int value, const char* suffix) {
  auto* box = Named(new QSpinBox, name);
  box->setRange(least, most);
  box->setValue(value);
  box->setSuffix(Words(suffix));
  return box;
}

QSettings UserSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Rankora"), QStringLiteral("Rankora"));
}

}  // namespace

SettingsDialog::SettingsDialog(const app::Settings& settings, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("设置"));
  setWindowTitle(Words("设置"));
  auto* form = new QFormLayout;
  source_ = Named(new QComboBox, "来源");
  source_->addItems({Words("旧接口（原来的请求）"), Words("爱站网页"), Words("爱站接口")});
  source_->setCurrentIndex(static_cast<int>(settings.source));
  form->addRow(Words("来源："), source_);
  key_ = Named(new QLineEdit(QString::fromStdString(settings.key)), "key");
  key_->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  form->addRow(Words("爱站接口 key："), key_);
  cookie_ = Named(new QLineEdit(QString::fromUtf8(settings.cookie.c_str())), "cookie");
  cookie_->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  form->addRow(Words("爱站网页 cookie："), cookie_);
  proxies_ = Named(new QPlainTextEdit, "代理");
  QString proxies = ToQString(settings.proxies);
  proxies.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  proxies_->setPlainText(proxies);
  proxies_->setPlaceholderText(Words("每行一个代理（出口），例如 http://用户名:密码@1.2.3.4:8080；不填则直接连接"));
  auto* load = Named(new QPushButton(Words("从文件载入…")), "载入代理");
  connect(load, &QPushButton::clicked, this, &SettingsDialog::LoadProxyFile);
  auto* proxyColumn = new QVBoxLayout;
  proxyColumn->addWidget(proxies_);
  proxyColumn->addWidget(load, 0, Qt::AlignLeft);
  form->addRow(Words("出口："), proxyColumn);
  perMinute_ = Number("每分钟", 0, app::kMostPerMinute, settings.perMinute, " 次/分钟");
  perMinute_->setSpecialValueText(Words("不限"));
  form->addRow(Words("每个出口每分钟查询："), perMinute_);
  inFlight_ = Number("同时", 1, app::kMostInFlight, settings.inFlight, " 个");
  form->addRow(Words("同时进行的查询："), inFlight_);
  coolDown_ = Number("冷却", 1, app::kMostCoolDownMinutes, settings.coolDownMinutes, " 分钟");
  form->addRow(Words("出口被限制后第一次冷却："), coolDown_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(Words("确定"));
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(Words("取消"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(520, 420);
}

app::Settings SettingsDialog::Chosen() const {
  app::Settings settings;
  settings.source = static_cast<lookup::SourceKind>(source_->currentIndex());
  settings.key = key_->text().trimmed().toStdString();
  settings.cookie = cookie_->text().trimmed().toUtf8().toStdString();
  QString proxies = proxies_->toPlainText();
  proxies.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  settings.proxies = FromQString(proxies);
  settings.perMinute = perMinute_->value();
  settings.inFlight = inFlight_->value();
  settings.coolDownMinutes = coolDown_->value();
  return settings;
}

void SettingsDialog::accept() {
  const app::SettingsCheck check = app::CheckSettings(Chosen());
  if (!check.Ok()) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(app::GetTexts().messageTitle), ToQString(check.problem),
                    QMessageBox::Ok, this);
    box.exec();
    return;
  }
  QDialog::accept();
}

void SettingsDialog::LoadProxyFile() {
  const QString name =
      QFileDialog::getOpenFileName(this, Words("载入代理列表"), {}, Words("文本文件 (*.txt);;所有文件 (*)"));
  if (name.isEmpty()) return;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(app::GetTexts().messageTitle), Words("读不了这个文件。"),
                    QMessageBox::Ok, this);
    box.exec();
    return;
  }
  proxies_->setPlainText(QString::fromUtf8(file.readAll()));
}

std::optional<std::string> QtSettingsStore::Read(const std::string& name) const {
  const QVariant value = UserSettings().value(QString::fromStdString(name));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toUtf8().toStdString();
}

bool QtSettingsStore::Write(const std::string& name, const std::string& value, bool) {
  // The file keeps the key, the cookie and the proxies' passwords: it is the
  // user's alone from its first write on, before any secret is in it, and a
  // rewrite keeps the file's permissions.
  QSettings settings = UserSettings();
  settings.setValue(QString::fromStdString(name), QString::fromUtf8(value.c_str()));
  settings.sync();
  const bool restricted = QFile::setPermissions(settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  return settings.status() == QSettings::NoError && restricted;
}

QString QtSettingsStore::FileName() { return UserSettings().fileName(); }

}  // namespace rankora::ui::qt
