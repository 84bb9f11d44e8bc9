// The boundary between the core's GBK texts and Qt's UTF-16 strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace rankora::ui::qt {

QString ToQString(std::string_view gbk);
std::string FromQString(const QString& text);

}  // namespace rankora::ui::qt
