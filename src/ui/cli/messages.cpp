#include "ui/cli/messages.h"

#include "ui/cli/console.h"
#include "ui/cli/status.h"

namespace rankora::cli {

std::string PathText(const std::string& argument) { return "“" + argument + "”"; }

std::string FileProblem(std::error_code error) {
  const std::error_condition reason = error.default_error_condition();
  if (reason == std::errc::is_a_directory) return "这是文件夹，不是文件";
  if (reason == std::errc::no_such_file_or_directory || reason == std::errc::not_a_directory)
    return "文件或文件夹不存在";
  if (reason == std::errc::permission_denied || reason == std::errc::operation_not_permitted) return "没有权限";
  if (reason == std::errc::no_space_on_device) return "磁盘已满";
  if (reason == std::errc::read_only_file_system) return "磁盘是只读的";
  if (reason == std::errc::filename_too_long) return "文件名太长";
  if (reason == std::errc::device_or_resource_busy || reason == std::errc::text_file_busy)
    return "文件正被其他程序使用";
  return "错误 " + std::to_string(error.value()) + "（" + error.message() + "）";
}

std::string LineShown(std::string_view line) {
  constexpr std::size_t kLongest = 80;
  std::string shown;
  std::size_t at = 0;
  for (; at < line.size() && shown.size() < kLongest; ++at) {
    const auto byte = static_cast<unsigned char>(line[at]);
    shown += (byte < 0x20 || byte == 0x7F) ? '?' : line[at];
  }
  if (at == line.size()) return shown;
  // Not inside a UTF-8 character.
  while (!shown.empty() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) {
    shown.pop_back();
    --at;
  }
  return shown + "……（共 " + std::to_string(line.size()) + " 字节）";
}

void WriteSummary(const batch::RunResult& result, std::chrono::seconds took, const std::optional<std::string>& output) {
  const batch::OutcomeCounts& tally = result.outcomes;
  std::string summary = "查询了 " + std::to_string(result.asked) + " 个域名";
  if (result.resumed > 0) summary += "（另有 " + std::to_string(result.resumed) + " 个上次已完成）";
  summary += "，用时 " + DurationText(took) + "。合计：有权重 " + std::to_string(tally.found) + "，无权重 " +
             std::to_string(tally.none) + "，被限制 " + std::to_string(tally.refused) + "，失败 " +
             std::to_string(tally.failed);
  if (result.notAsked > 0) summary += "，未查询 " + std::to_string(result.notAsked);
  summary += "。";
  if (output) summary += "结果在 " + PathText(*output) + "。";
  WriteError(summary + "\n");
  if (tally.failed + tally.refused > 0) {
    WriteError("失败和被限制的域名也在输出里，标着状态；再运行同样的命令会重查它们。\n");
  }
}

}  // namespace rankora::cli
