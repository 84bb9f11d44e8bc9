// The Qt main window behind the window contract suites: the real window,
// driven with QTest, its boxes and dialogs answered from their own event
// loops.
#pragma once

#include "window_contract.h"

namespace rankora::ui::contract {

extern const WindowKind kQtWindow;

}  // namespace rankora::ui::contract
