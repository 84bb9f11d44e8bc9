// 查询 → 设置: the window's run settings in a dialog, and the user's store of
// them (QSettings' file in the XDG config folder, readable by the user
// alone, since it keeps a key, a cookie and proxies' passwords).
#pragma once

#include <QDialog>

#include "app/settings.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace rankora::ui::qt {

class SettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(const app::Settings& settings, QWidget* parent);
  // What the dialog holds now.
  app::Settings Chosen() const;

  // Confirms only settings that app::CheckSettings accepts; otherwise says
  // why and stays open.
  void accept() override;

 private:
  void LoadProxyFile();

  QComboBox* source_;
  QLineEdit* key_;
  QLineEdit* cookie_;
  QPlainTextEdit* proxies_;
  QSpinBox* perMinute_;
  QSpinBox* inFlight_;
  QSpinBox* coolDown_;
};

class QtSettingsStore final : public app::SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& name) const override;
  bool Write(const std::string& name, const std::string& value, bool secret) override;
  // The file, for the user's eyes.
  static QString FileName();
};

}  // namespace rankora::ui::qt
