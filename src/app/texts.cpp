#include "app/texts.h"

#include "text/gbk.h"

namespace rankora::app {

const Texts& GetTexts() {
  using text::Gbk;
  static const Texts texts{
      .startCaption = Gbk("开始验证"),
      .runningCaption = Gbk("正在验证."),
      .saveCaption = Gbk("导出成功的权重"),
      .sortCaption = Gbk("高低排序"),
      .hint = Gbk("权重不可查询时会自动停止"),
      .makerBrand = "Quillon",
      .creditLine = Gbk("Quillon外链代发提供 官方网站：") + std::string(kMakerHost) + Gbk(" - 调用爱站的权重"),
      .domainHeader = Gbk("域名"),
      .weightHeader = Gbk("权重"),
      .messageTitle = Gbk("信息："),
      .restrictedMessage = Gbk("Quillon提示：被限制了。。换IP吧"),
      .lookupFailed = Gbk("Quillon提示：查询失败，"),
      .savedMessage = Gbk("保存成功！"),
      .saveFailed = Gbk("保存失败："),
      .defaultDomains =
          "www.baidu.com\r\nwww.sina.com.cn\r\nwww.163.com\r\n"
          "www.qq.com\r\nwww.sogou.com\r\nwww.so.com",
      .sorted = Gbk("排序完成"),
      .notReportView = Gbk("该超级列表框不是报表类型"),
      .badColumn = Gbk("错误的列索引"),
      .badSortType = Gbk("排序类型不对"),
  };
  return texts;
}

std::string LookupFailedMessage(const std::string& why) { return GetTexts().lookupFailed + text::Gbk(why); }

std::string UnreachableMessage(const std::string& what) {
  return text::Gbk("Quillon提示：无法连接到爱站：" + what + "。请检查网络或代理设置。");
}

std::string GoneMessage(const std::string& why) {
  return text::Gbk("Quillon提示：爱站的旧查询接口已不再应答（" + why +
                   "）。请在 查询 → 设置 → 爱站网页 改用今天的域名页面查询。");
}

std::string SaveFailedMessage(std::error_code failure) {
  using text::Gbk;
  const std::error_condition reason = failure.default_error_condition();
  std::string words;
  if (reason == std::errc::no_space_on_device) {
    words = Gbk("磁盘已满。");
  } else if (reason == std::errc::file_too_large) {
    words = Gbk("文件太大，磁盘放不下。");
  } else if (reason == std::errc::permission_denied || reason == std::errc::operation_not_permitted) {
    words = Gbk("没有写入的权限：文件是只读的，或者文件夹不允许写入。");
  } else if (reason == std::errc::read_only_file_system) {
    words = Gbk("磁盘是只读的。");
  } else if (reason == std::errc::no_such_file_or_directory || reason == std::errc::not_a_directory) {
    words = Gbk("文件夹不存在。");
  } else if (reason == std::errc::is_a_directory) {
    words = Gbk("选择的是文件夹，不是文件。");
  } else if (reason == std::errc::filename_too_long) {
    words = Gbk("文件名太长。");
  } else if (reason == std::errc::device_or_resource_busy || reason == std::errc::text_file_busy) {
    words = Gbk("文件正被其他程序使用。");
  } else if (reason == std::errc::io_error) {
    words = Gbk("读写磁盘时出错。");
  } else {
    words = Gbk("无法写入文件（错误 ") + std::to_string(failure.value()) + Gbk("）。");
  }
  return GetTexts().saveFailed + words;
}

}  // namespace rankora::app
