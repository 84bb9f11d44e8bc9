#include "ui/qt/qt_text.h"

#include <QFile>

#include "text/gbk.h"

namespace rankora::ui::qt {

QString ToQString(std::string_view gbk) {
  const std::u16string utf16 = text::ToUtf16(gbk);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

std::string FromQString(const QString& text) {
  return text::FromUtf16({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())});
}

std::filesystem::path ToPath(const QString& fileName) {
  const QByteArray native = QFile::encodeName(fileName);
  return std::filesystem::path(std::string(native.constData(), static_cast<std::size_t>(native.size())));
}

QString FromPath(const std::filesystem::path& path) {
  const std::string& native = path.native();
  return QFile::decodeName(QByteArray(native.data(), static_cast<qsizetype>(native.size())));
}

}  // namespace rankora::ui::qt
