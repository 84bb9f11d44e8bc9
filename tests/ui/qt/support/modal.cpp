#include "modal.h"

#include <QApplication>
#include <QTimer>

namespace rankora::testing {

void WhenModal(std::function<void(QWidget*)> answer) {
  WhenModalMatching([](QWidget*) { return true; }, std::move(answer));
}

void WhenModalMatching(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, matches = std::move(matches), answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || !matches(modal)) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

void WhenShown(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, matches = std::move(matches), answer = std::move(answer)] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible() || !matches(widget)) continue;
      timer->stop();
      timer->deleteLater();
      answer(widget);
      return;
    }
  });
  timer->start();
}

}  // namespace rankora::testing
