#include "ui/qt/qt_text.h"

#include "text/gbk.h"

namespace rankora::ui::qt {

QString ToQString(std::string_view gbk) {
  const std::u16string utf16 = text::ToUtf16(gbk);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

std::string FromQString(const QString& text) {
  return text::FromUtf16({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())});
}

}  // namespace rankora::ui::qt
