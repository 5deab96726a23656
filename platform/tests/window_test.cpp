// Windows and edit controls through platform/win32.h and the host's helpers.
// Runs natively against the Linux layer and in the Windows build against
// real USER windows (under Wine with an X server), so both must agree.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "platform/window_host.h"

namespace {

// The style of the hex editor's window: child, border, vertical scroll bar,
// multi-line, no automatic horizontal scrolling.
constexpr DWORD editor_style = WS_CHILD | WS_BORDER | WS_VSCROLL | ES_MULTILINE;
static_assert(editor_style == 0x40A00004);

struct Panel : ::testing::Test {
  HWND panel = platform::create_panel_window(100, 80, "panel");
  HWND edit = nullptr;

  void SetUp() override {
    ASSERT_NE(panel, nullptr);
    RECT client{};
    ASSERT_TRUE(GetClientRect(panel, &client));
    edit = CreateWindowExA(0, "edit", "", editor_style, client.left, client.top, client.right,
                           client.bottom, panel, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
  }
  void TearDown() override { platform::destroy_window(panel); }
};

TEST_F(Panel, ChildEditWindow) {
  RECT client{};
  ASSERT_TRUE(GetClientRect(panel, &client));
  EXPECT_EQ(client.right, 100);
  EXPECT_EQ(client.bottom, 80);
  EXPECT_EQ(GetParent(edit), panel);
  EXPECT_EQ(GetParent(panel), nullptr);
  EXPECT_EQ(platform::child_windows(panel), std::vector<HWND>{edit});
  EXPECT_TRUE(platform::child_windows(edit).empty());
  EXPECT_EQ(platform::window_class(edit), "edit");
  EXPECT_EQ(platform::window_class(panel), "platform_panel");
  EXPECT_EQ(platform::window_text(panel), "panel");

  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_FALSE(ShowWindow(edit, SW_SHOW));  // was hidden
  EXPECT_TRUE(IsWindowVisible(edit));
  EXPECT_TRUE(ShowWindow(edit, SW_SHOW));  // was shown
  EXPECT_TRUE(MoveWindow(edit, 0, 0, 60, 40, TRUE));
  EXPECT_TRUE(ShowWindow(edit, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(edit));
}

TEST_F(Panel, EditTextIsCopiedAsWin32CopiesIt) {
  ASSERT_TRUE(SetWindowTextA(edit, "F0 01\r\nF7"));
  EXPECT_EQ(GetWindowTextLengthA(edit), 9);
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowTextA(edit, buffer, 5), 4);  // at most n - 1 characters
  EXPECT_STREQ(buffer, "F0 0");
  EXPECT_EQ(buffer[5], 'x');
  EXPECT_EQ(GetWindowTextA(edit, buffer, 10), 9);
  EXPECT_STREQ(buffer, "F0 01\r\nF7");
  EXPECT_EQ(GetWindowTextA(edit, buffer, 1), 0);
  EXPECT_EQ(buffer[0], '\0');
  buffer[0] = 'x';
  EXPECT_EQ(GetWindowTextA(edit, buffer, 0), 0);  // nothing written
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(platform::window_text(edit), "F0 01\r\nF7");
  ASSERT_TRUE(SetWindowTextA(edit, ""));
  EXPECT_EQ(GetWindowTextLengthA(edit), 0);
  EXPECT_EQ(platform::window_text(edit), "");

  HWND titled = CreateWindowExA(0, "EDIT", "initial", editor_style, 0, 0, 10, 10, panel, nullptr,
                                nullptr, nullptr);
  EXPECT_EQ(platform::window_text(titled), "initial");
}

TEST_F(Panel, TypingAppendsAsAUserWould) {
  ASSERT_TRUE(SetWindowTextA(edit, "F0"));
  // Each line break, whatever its form, is one press of Enter: "\r\n".
  platform::type_text(edit, " 01\nF7\r\n42\r");
  EXPECT_EQ(platform::window_text(edit), "F0 01\r\nF7\r\n42\r\n");
  platform::type_text(edit, "\b\b1");  // the line break goes as one character
  EXPECT_EQ(platform::window_text(edit), "F0 01\r\nF7\r\n41");
  platform::type_text(edit, "\t\x01");  // a tab is text, Ctrl+A is not
  EXPECT_EQ(platform::window_text(edit), "F0 01\r\nF7\r\n41\t");

  // (A single-line edit takes only what fits its width unless it scrolls.)
  HWND single = CreateWindowExA(0, "edit", "a", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 80, 20, panel,
                                nullptr, nullptr, nullptr);
  platform::type_text(single, "b\r\nc");  // a single-line edit ignores Enter
  EXPECT_EQ(platform::window_text(single), "abc");
  platform::type_text(panel, "x");  // not an edit control: ignored
  EXPECT_EQ(platform::window_text(panel), "panel");
}

TEST_F(Panel, DestroyedWindowsFailLikeWin32) {
  ASSERT_TRUE(SetWindowTextA(edit, "text"));
  platform::destroy_window(panel);  // takes its child with it
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_FALSE(IsWindow(edit));
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(GetWindowTextA(edit, buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(GetWindowTextLengthA(edit), 0);
  EXPECT_FALSE(SetWindowTextA(edit, "x"));
  EXPECT_FALSE(DestroyWindow(edit));
  EXPECT_EQ(GetParent(edit), nullptr);
  EXPECT_FALSE(ShowWindow(edit, SW_SHOW));
  EXPECT_FALSE(MoveWindow(edit, 0, 0, 1, 1, FALSE));
  RECT r{};
  EXPECT_FALSE(GetClientRect(edit, &r));
  EXPECT_TRUE(platform::child_windows(panel).empty());
  EXPECT_EQ(platform::window_class(edit), "");
  EXPECT_EQ(platform::window_text(edit), "");
  platform::type_text(edit, "x");
  platform::destroy_window(edit);
  platform::destroy_window(nullptr);
}

TEST_F(Panel, CreationFailsForBadClassOrParent) {
  EXPECT_EQ(CreateWindowExA(0, "no such class", "", WS_CHILD, 0, 0, 10, 10, panel, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowExA(0, "edit", "", editor_style, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);  // a child needs a parent
  HWND gone = platform::create_panel_window(10, 10, "gone");
  platform::destroy_window(gone);
  EXPECT_EQ(
      CreateWindowExA(0, "edit", "", editor_style, 0, 0, 10, 10, gone, nullptr, nullptr, nullptr),
      nullptr);
}

}  // namespace
