#include "app/win32/message_queue.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace rankora::app {
namespace {

constexpr UINT kPing = WM_APP + 1;

std::vector<UINT> received;

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing || message == WM_CHAR)
    received.push_back(message == WM_CHAR ? static_cast<UINT>(wParam) : message);
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window that only receives messages, recording what reaches it.
class MessageQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Record;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RankoraMessageQueueTest";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(window_);
    // Nothing left behind for the next test.
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  static bool QueueIsEmpty() {
    MSG message{};
    return !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  }

  HWND window_ = nullptr;
};

TEST_F(MessageQueueTest, HandlesEveryWaitingMessageAndReturns) {
  ASSERT_TRUE(PostMessageW(window_, kPing, 0, 0));
  ASSERT_TRUE(PostMessageW(window_, kPing, 0, 0));
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), kPing, 0, 0));
  EXPECT_TRUE(ProcessThreadMessages());
  EXPECT_EQ(received, (std::vector<UINT>{kPing, kPing}));
  EXPECT_TRUE(QueueIsEmpty());
  // With nothing waiting it returns at once.
  EXPECT_TRUE(ProcessThreadMessages());
}

TEST_F(MessageQueueTest, TranslatesKeyPressesIntoCharacters) {
  ASSERT_TRUE(PostMessageW(window_, WM_KEYDOWN, 'A', 1 | MapVirtualKeyW('A', MAPVK_VK_TO_VSC) << 16));
  EXPECT_TRUE(ProcessThreadMessages());
  EXPECT_EQ(received, std::vector<UINT>{'a'});
}

TEST_F(MessageQueueTest, LeavesAQuitRequestForTheMessageLoop) {
  ASSERT_TRUE(PostMessageW(window_, kPing, 0, 0));
  PostQuitMessage(3);
  EXPECT_FALSE(ProcessThreadMessages());
  EXPECT_EQ(received, std::vector<UINT>{kPing});
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 3u);
}

}  // namespace
}  // namespace rankora::app
