// The boundary between the core's GBK texts and Qt's UTF-16 strings, and
// between Qt's file names and the platform's paths.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace rankora::ui::qt {

QString ToQString(std::string_view gbk);
std::string FromQString(const QString& text);

// File names never pass through GBK: every character of the name survives.
std::filesystem::path ToPath(const QString& fileName);
QString FromPath(const std::filesystem::path& path);

}  // namespace rankora::ui::qt
