// Answering modal windows from a test: the answer runs from the event loop of
// the modal window itself, as soon as that window is the active modal one.
#pragma once

#include <QWidget>
#include <functional>

namespace rankora::testing {

// Calls `answer` with the first modal widget that appears (checked each time
// the event loop runs timers), then stops watching.
void WhenModal(std::function<void(QWidget*)> answer);

// Like WhenModal, for a modal widget of type T.
template <typename T>
void WhenModalOf(std::function<void(T*)> answer) {
  WhenModal([answer](QWidget* widget) { answer(qobject_cast<T*>(widget)); });
}

}  // namespace rankora::testing
