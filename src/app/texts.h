// The program's built-in texts, as GBK, and the maker's web host.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace rankora::app {

// The maker's web host, shown in the credit line and opened by the link button.
inline constexpr std::string_view kMakerHost = "www.quillon.example";

struct Texts {
  std::string startCaption;    // 开始验证
  std::string runningCaption;  // 正在验证.
  std::string saveCaption;     // 导出成功的权重
  std::string sortCaption;     // 高低排序
  std::string hint;            // 权重不可查询时会自动停止
  std::string makerBrand;      // Quillon
  std::string creditLine;      // Quillon外链代发提供 官方网站：<host> - 调用爱站的权重
  std::string domainHeader;    // 域名
  std::string weightHeader;    // 权重
  std::string messageTitle;    // 信息：
  std::string restrictedMessage;
  std::string lookupFailed;    // Quillon提示：查询失败，
  std::string savedMessage;    // 保存成功！
  std::string saveFailed;      // 保存失败：
  std::string defaultDomains;  // six domains, CR LF between them
  std::string sorted;          // 排序完成
  std::string notReportView;   // 该超级列表框不是报表类型
  std::string badColumn;       // 错误的列索引
  std::string badSortType;     // 排序类型不对
};

// Made once, on first use.
const Texts& GetTexts();

// Quillon提示：查询失败， and why (UTF-8), such as the component that could not
// be created.
std::string LookupFailedMessage(const std::string& why);

// Quillon提示：无法连接到爱站：<what> 。请检查网络或代理设置。 — `what` (UTF-8)
// says what kept the service out of reach, such as 找不到主机名.
std::string UnreachableMessage(const std::string& what);

// Quillon提示：爱站的旧查询接口已不再应答（<why>）。 and where today's page is
// read instead; `why` (UTF-8) is the status or where the redirects led.
std::string GoneMessage(const std::string& why);

// 保存失败： and why the file could not be written, in words.
std::string SaveFailedMessage(std::error_code failure);

}  // namespace rankora::app
