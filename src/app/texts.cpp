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
      .savedMessage = Gbk("保存成功！"),
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

}  // namespace rankora::app
