// The window thread's message queue, for the Win32 window: what lets it
// handle waiting events in the middle of a long operation.
#pragma once

namespace rankora::app {

// Handles every message waiting in the calling thread's queue, then
// returns: window messages go to their windows, key presses are translated
// to characters on the way. A quit request taken from the queue is posted
// again, with its exit code, so that the thread's message loop still sees it
// and ends; the messages behind it wait for that loop. False when a quit
// request was seen.
bool ProcessThreadMessages();

}  // namespace rankora::app
