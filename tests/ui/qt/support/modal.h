// Answering modal windows from a test: the answer runs from the event loop of
// the modal window itself, as soon as that window is the active modal one.
#pragma once

#include <QWidget>
#include <functional>

namespace rankora::testing {

// Calls `answer` with the first modal widget that appears (checked each time
// the event loop runs timers), then stops watching.
void WhenModal(std::function<void(QWidget*)> answer);

// Like WhenModal, for the first modal widget that `matches`.
void WhenModalMatching(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> answer);

// Like WhenModal, for the first modal widget of type T; other modal
// widgets (a file dialog before the box that follows it) are passed by.
template <typename T>
void WhenModalOf(std::function<void(T*)> answer) {
  WhenModalMatching([](QWidget* widget) { return qobject_cast<T*>(widget) != nullptr; },
                    [answer](QWidget* widget) { answer(qobject_cast<T*>(widget)); });
}

// Calls `answer` with the first visible top-level widget of type T, modal
// or not (a message box shown for another thread is not modal).
void WhenShown(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> answer);

template <typename T>
void WhenShownOf(std::function<void(T*)> answer) {
  WhenShown([](QWidget* widget) { return qobject_cast<T*>(widget) != nullptr; },
            [answer](QWidget* widget) { answer(qobject_cast<T*>(widget)); });
}

}  // namespace rankora::testing
