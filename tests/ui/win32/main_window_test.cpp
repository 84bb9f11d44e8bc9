// The Win32 main window as built: frame, layout, captions, styles, texts.
#include "ui/win32/main_window.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include <gtest/gtest.h>

#include <thread>

#include "app/texts.h"
#include "text/gbk.h"
#include "ui/win32/gdi_object.h"
#include "ui/win32/layout.h"
#include "ui/win32/registry_store.h"
#include "ui/win32/resources.h"
#include "ui/win32/wide_text.h"
#include "window_driver.h"

namespace rankora::ui::win32 {
namespace {

using testing::ControlNamed;
using testing::TextOf;

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::StartLikeTheProgram(); }

  void SetUp() override {
    ASSERT_NE(window_.Handle(), nullptr);
    // The numbers of the layout are those of 96 DPI.
    ASSERT_EQ(window_.Dpi(), 96u);
  }

  HWND Named(const char* name) { return ControlNamed(window_, name); }
  LONG_PTR Style(HWND control) { return GetWindowLongPtrW(control, GWL_STYLE); }
  LONG_PTR ExStyle(HWND control) { return GetWindowLongPtrW(control, GWL_EXSTYLE); }
  std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Narrow(name);
  }

  MainWindow window_;
};

TEST_F(MainWindowTest, IsAFixedSingleFrameWindowTitledRankoraWithCloseButtonOnly) {
  EXPECT_EQ(TextOf(window_.Handle()), "Rankora");
  const LONG_PTR style = Style(window_.Handle());
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_CHILD);
  // The system menu keeps Move and Close.
  const HMENU menu = GetSystemMenu(window_.Handle(), FALSE);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuState(menu, SC_MOVE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  // The default window colour, and the program's own icon.
  EXPECT_EQ(GetClassLongPtrW(window_.Handle(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
  EXPECT_NE(GetClassLongPtrW(window_.Handle(), GCLP_HICON), 0);
  const auto icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  const GdiObject<HBITMAP> colourBitmap(info.hbmColor);
  const GdiObject<HBITMAP> mask(info.hbmMask);
  BITMAP colour{};
  GetObjectW(colourBitmap.Get(), sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  EXPECT_EQ(colour.bmBitsPixel, 32);
  DestroyIcon(icon);
}

TEST_F(MainWindowTest, HasTheClientAreaOfTheLayoutWhateverTheFrame) {
  // The original client area and the status line below it.
  RECT client{};
  GetClientRect(window_.Handle(), &client);
  EXPECT_EQ(client.right - client.left, kClientWidth);
  EXPECT_EQ(client.bottom - client.top, kClientHeight + kStatusHeight);
  RECT outer{};
  GetWindowRect(window_.Handle(), &outer);
  // The menu bar is outside the client area.
  RECT expected{0, 0, kClientWidth, kClientHeight + kStatusHeight};
  AdjustWindowRectEx(&expected, static_cast<DWORD>(Style(window_.Handle())), TRUE,
                     static_cast<DWORD>(ExStyle(window_.Handle())));
  EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
  EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);
}

TEST_F(MainWindowTest, CannotBeResized) {
  window_.Show(SW_SHOWNORMAL);
  RECT before{};
  GetWindowRect(window_.Handle(), &before);
  POINT middle{(before.left + before.right) / 2, (before.top + before.bottom) / 2};
  // The frame's edges are no sizing borders.
  const LRESULT right = SendMessageW(window_.Handle(), WM_NCHITTEST, 0, MAKELPARAM(before.right - 1, middle.y));
  const LRESULT bottom = SendMessageW(window_.Handle(), WM_NCHITTEST, 0, MAKELPARAM(middle.x, before.bottom - 1));
  EXPECT_NE(right, HTRIGHT);
  EXPECT_NE(bottom, HTBOTTOM);
  EXPECT_NE(bottom, HTBOTTOMRIGHT);
  EXPECT_NE(SendMessageW(window_.Handle(), WM_NCHITTEST, 0, MAKELPARAM(before.right - 1, before.bottom - 1)),
            HTBOTTOMRIGHT);
}

TEST_F(MainWindowTest, IsCentredOnTheScreen) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT outer{};
  GetWindowRect(window_.Handle(), &outer);
  const RECT& work = monitor.rcWork;
  EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 2);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - (work.top + work.bottom)), 2);
}

TEST_F(MainWindowTest, UsesTheDefaultGuiFontEverywhere) {
  const auto font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window_.Handle(), WM_GETFONT, 0, 0)), font);
  for (const Placement& placement : Placements()) {
    SCOPED_TRACE(std::string(placement.name));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window_.Control(placement.id), WM_GETFONT, 0, 0)), font);
  }
}

TEST_F(MainWindowTest, ScalesLayoutAndFontWithTheDpiOfItsMonitor) {
  const auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW stockFace{};
  GetObjectW(stock, sizeof stockFace, &stockFace);
  // As the system says when the window has moved to a monitor of 144 DPI.
  RECT proposed{100, 100, 900, 800};
  SendMessageW(window_.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&proposed));
  EXPECT_EQ(window_.Dpi(), 144u);
  RECT outer{};
  GetWindowRect(window_.Handle(), &outer);
  EXPECT_EQ(outer.left, 100);
  EXPECT_EQ(outer.top, 100);
  const HWND start = Named("按钮1");
  RECT rect{};
  GetWindowRect(start, &rect);
  MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 12);
  EXPECT_EQ(rect.top, 612);
  EXPECT_EQ(rect.right - rect.left, 132);
  EXPECT_EQ(rect.bottom - rect.top, 36);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(start, WM_GETFONT, 0, 0));
  ASSERT_NE(font, stock);
  LOGFONTW face{};
  GetObjectW(font, sizeof face, &face);
  EXPECT_EQ(face.lfHeight, MulDiv(stockFace.lfHeight, 144, 96));
  EXPECT_EQ(std::wstring(face.lfFaceName), std::wstring(stockFace.lfFaceName));
  EXPECT_EQ(SendMessageW(Named("超级列表框1"), LVM_GETCOLUMNWIDTH, 0, 0), 390);
  EXPECT_EQ(SendMessageW(Named("超级列表框1"), LVM_GETCOLUMNWIDTH, 1, 0), 120);
  // The icons drawn for the new DPI: 48 and 24 pixels at 144.
  for (const auto& [which, size] : {std::pair{ICON_BIG, 48}, std::pair{ICON_SMALL, 24}}) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window_.Handle(), WM_GETICON, which, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    const GdiObject<HBITMAP> colour(info.hbmColor);
    const GdiObject<HBITMAP> mask(info.hbmMask);
    BITMAP bitmap{};
    GetObjectW(colour.Get(), sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
  }

  // And back.
  SendMessageW(window_.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&proposed));
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(start, WM_GETFONT, 0, 0)), stock);
  GetWindowRect(start, &rect);
  MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 8);
  EXPECT_EQ(rect.top, 408);
  EXPECT_EQ(SendMessageW(Named("超级列表框1"), LVM_GETCOLUMNWIDTH, 0, 0), 260);
}

struct Expected {
  const char* name;
  RECT rect;            // left, top, right, bottom in the client area
  const char* caption;  // UTF-8; nullptr where the control shows no caption
  const char* kind;     // window class
};

TEST_F(MainWindowTest, PlacesEveryControlWithItsCaption) {
  const std::string credit = "Quillon外链代发提供 官方网站：www.quillon.example - 调用爱站的权重";
  const Expected expected[] = {
      {"超级按钮1", {432, 184, 504, 216}, "Quillon", "Button"},
      {"标签2", {16, 184, 424, 216}, credit.c_str(), "Static"},
      {"按钮3", {216, 408, 304, 432}, "高低排序", "Button"},
      {"标签1", {352, 408, 504, 432}, "权重不可查询时会自动停止", "Static"},
      {"按钮2", {104, 408, 200, 432}, "导出成功的权重", "Button"},
      {"按钮1", {8, 408, 96, 432}, "开始验证", "Button"},
      {"超级列表框1", {8, 215, 520, 399}, nullptr, "SysListView32"},
      {"编辑框1", {8, 8, 520, 184}, nullptr, "Edit"},
  };
  for (const Expected& control : expected) {
    SCOPED_TRACE(control.name);
    const HWND handle = Named(control.name);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetParent(handle), window_.Handle());
    RECT rect{};
    GetWindowRect(handle, &rect);
    MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, control.rect.left);
    EXPECT_EQ(rect.top, control.rect.top);
    EXPECT_EQ(rect.right, control.rect.right);
    EXPECT_EQ(rect.bottom, control.rect.bottom);
    EXPECT_EQ(_stricmp(ClassOf(handle).c_str(), control.kind), 0) << ClassOf(handle);
    EXPECT_TRUE(IsWindowEnabled(handle));
    EXPECT_TRUE(Style(handle) & WS_VISIBLE);
    if (control.caption != nullptr) {
      EXPECT_EQ(TextOf(handle), control.caption);
    }
  }
  EXPECT_EQ(ControlIdOf("通用对话框1"), 0);  // a dialog, no control of the window
}

TEST_F(MainWindowTest, ButtonsAreOrdinaryPushButtonsAndLabelsShowTheirTextAsItIs) {
  for (const char* name : {"按钮1", "按钮2", "按钮3", "超级按钮1"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Style(Named(name)) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_TRUE(Style(Named(name)) & WS_TABSTOP);
  }
  for (const char* name : {"标签1", "标签2"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Style(Named(name)) & SS_TYPEMASK, SS_LEFT);
    EXPECT_TRUE(Style(Named(name)) & SS_NOPREFIX);
  }
}

TEST_F(MainWindowTest, DomainBoxIsAWrappingMultiLineBoxWithAVerticalScrollBar) {
  const HWND edit = Named("编辑框1");
  const LONG_PTR style = Style(edit);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_TRUE(style & ES_WANTRETURN);
  EXPECT_TRUE(style & WS_TABSTOP);
  // Without these, long lines wrap and the box is ordinary input.
  EXPECT_FALSE(style & WS_HSCROLL);
  EXPECT_FALSE(style & ES_AUTOHSCROLL);
  EXPECT_FALSE(style & ES_NOHIDESEL);
  EXPECT_FALSE(style & (ES_PASSWORD | ES_UPPERCASE | ES_LOWERCASE | ES_READONLY | ES_CENTER | ES_RIGHT));
  // Black on white.
  const HDC context = GetDC(edit);
  const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
      window_.Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(context), reinterpret_cast<LPARAM>(edit)));
  EXPECT_EQ(brush, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetTextColor(context), RGB(0, 0, 0));
  EXPECT_EQ(GetBkColor(context), RGB(255, 255, 255));
  ReleaseDC(edit, context);
}

// Its text: WindowControlsContract.
TEST_F(MainWindowTest, DomainBoxShowsTheDefaultDomainsOnSixLines) {
  EXPECT_EQ(SendMessageW(Named("编辑框1"), EM_GETLINECOUNT, 0, 0), 6);
}

TEST_F(MainWindowTest, DomainBoxTakesEnterAsALineBreakAndReadsBackAsGbk) {
  window_.Show(SW_SHOWNORMAL);
  const HWND edit = Named("编辑框1");
  SetFocus(edit);
  SetWindowTextW(edit, L"");
  for (const wchar_t c : std::wstring(L"www.a.com\rwww.\x767e\x5ea6.com")) {
    // Enter arrives as a key press and its character, the rest as characters.
    if (c == L'\r') {
      MSG key{edit, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
      if (!IsDialogMessageW(window_.Handle(), &key)) DispatchMessageW(&key);
      MSG enter{edit, WM_CHAR, L'\r', 0x001C0001, 0, {}};
      if (!IsDialogMessageW(window_.Handle(), &enter)) DispatchMessageW(&enter);
    } else {
      SendMessageW(edit, WM_CHAR, c, 1);
    }
  }
  EXPECT_EQ(window_.DomainBoxControl().Text(), text::Gbk("www.a.com\r\nwww.百度.com"));
  EXPECT_EQ(GetFocus(), edit);
}

TEST_F(MainWindowTest, DomainBoxTakesLongLists) {
  std::wstring many;
  for (int i = 0; i < 4000; ++i) many += L"www.example" + std::to_wstring(i) + L".com\r\n";
  ASSERT_GT(many.size(), 65536u);
  SetWindowTextW(Named("编辑框1"), many.c_str());
  EXPECT_EQ(window_.DomainBoxControl().Text(), Narrow(many));
}

TEST_F(MainWindowTest, ResultListIsASingleSelectionReportSortedDescendingOnInsert) {
  const HWND list = Named("超级列表框1");
  const LONG_PTR style = Style(list);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(style & LVS_SORTDESCENDING);
  EXPECT_FALSE(style & (LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | LVS_SORTASCENDING | LVS_EDITLABELS));
  const auto extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_FALSE(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES));
  EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), RGB(255, 255, 255));

  // Its columns' headers and widths: WindowControlsContract.
  for (int column = 0; column < 2; ++column) {
    SCOPED_TRACE(column);
    LVCOLUMNW entry{};
    entry.mask = LVCF_FMT;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&entry)));
    EXPECT_EQ(entry.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  // Headers the user can click.
  const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(header, GWL_STYLE) & HDS_BUTTONS);
}

// Title, text, buttons and owner: WindowControlsContract.
TEST_F(MainWindowTest, MessageBoxLeavesTheWindowEnabledOnceAnswered) {
  window_.Show(SW_SHOWNORMAL);
  testing::DialogAnswerer answer(testing::TitledBox("信息："), testing::Press(IDOK));
  window_.ShowMessage(app::GetTexts().restrictedMessage);
  ASSERT_TRUE(answer.Wait());
  // Task-modal: the window of the thread waits while the box is shown.
  EXPECT_TRUE(IsWindowEnabled(window_.Handle()));
}

TEST_F(MainWindowTest, SaveDialogNamesNewFilesAndAsksBeforeReplacingOne) {
  const unsigned long options = Win32SaveDialog::Options();
  EXPECT_TRUE(options & OFN_PATHMUSTEXIST);
  EXPECT_TRUE(options & OFN_OVERWRITEPROMPT);
  EXPECT_TRUE(options & OFN_HIDEREADONLY);
  EXPECT_FALSE(options & OFN_FILEMUSTEXIST);
  EXPECT_FALSE(options & OFN_NOCHANGEDIR);
  EXPECT_EQ(window_.SaveDialogControl().FileName(), std::filesystem::path(L"*.txt"));
}

TEST_F(MainWindowTest, ProcessingPendingMessagesHandlesWhatWaitsAndReturns) {
  const HWND edit = Named("编辑框1");
  SetWindowTextW(edit, L"");
  PostMessageW(edit, WM_CHAR, L'Q', 1);
  window_.ProcessPendingMessages();
  EXPECT_EQ(window_.DomainBoxControl().Text(), "Q");
  window_.ProcessPendingMessages();
  EXPECT_EQ(window_.DomainBoxControl().Text(), "Q");
}

TEST_F(MainWindowTest, ProgramCarriesItsManifestAndVersion) {
  // The manifest: common controls 6, per-monitor DPI awareness, and the
  // systems from Windows 7 to 11.
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  for (const char* part :
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">PerMonitorV2, PerMonitor<", ">true/pm<",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(program, 0, size, info.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\080404B0\\ProductName", &value, &length));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"Rankora");
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\080404B0\\ProductVersion", &value, &length));
  EXPECT_EQ(Narrow(static_cast<const wchar_t*>(value)), RANKORA_TEST_PROJECT_VERSION);
}

TEST_F(MainWindowTest, StatusLineSitsBelowTheOriginalClientAreaAndTellsWhatItIsGiven) {
  const HWND status = Named("状态栏");
  ASSERT_NE(status, nullptr);
  RECT rect{};
  GetWindowRect(status, &rect);
  MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_GE(rect.top, kClientHeight);
  EXPECT_LE(rect.bottom, kClientHeight + kStatusHeight);
  EXPECT_EQ(rect.left, 8);
  EXPECT_EQ(_stricmp(ClassOf(status).c_str(), "Static"), 0);
  EXPECT_TRUE(Style(status) & SS_NOPREFIX);
  window_.SetStatus(text::Gbk("已完成 3/12 & 进行中"));
  EXPECT_EQ(TextOf(status), "已完成 3/12 & 进行中");
  window_.SetTitle("Rankora - 3/12");
  EXPECT_EQ(TextOf(window_.Handle()), "Rankora - 3/12");
}

TEST_F(MainWindowTest, MenusOfferStopOnlyWhileALongRunGoes) {
  const HMENU bar = GetMenu(window_.Handle());
  const auto enabled = [bar](int command) {
    return (GetMenuState(bar, static_cast<UINT>(command), MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
  };
  const auto caption = [bar](int command) {
    wchar_t text[64] = L"";
    GetMenuStringW(bar, static_cast<UINT>(command), text, 64, MF_BYCOMMAND);
    return text::ToUtf8(Narrow(text));
  };
  EXPECT_EQ(caption(kImportCommand), "导入域名(&I)…");
  EXPECT_EQ(caption(kExportCsvCommand), "导出 CSV(&C)…");
  EXPECT_EQ(caption(kSettingsCommand), "设置(&S)…");
  EXPECT_EQ(caption(kRetryCommand), "重查失败的(&R)");
  // 文件: import, export, a separator, quit.
  const HMENU file = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(file), 4);
  EXPECT_EQ(GetMenuState(file, 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_FALSE(enabled(kStopCommand));
  window_.ShowRunning(true);
  EXPECT_TRUE(enabled(kStopCommand));
  EXPECT_TRUE(enabled(kExportCsvCommand));
  for (const int command : {kImportCommand, kSettingsCommand, kRetryCommand}) EXPECT_FALSE(enabled(command));
  window_.ShowRunning(false);
  EXPECT_FALSE(enabled(kStopCommand));
  for (const int command : {kImportCommand, kSettingsCommand, kRetryCommand}) EXPECT_TRUE(enabled(command));
}

TEST_F(MainWindowTest, ResultListTakesALongRunsColumnsAndBackAtTheWindowsScale) {
  app::ResultList& list = window_.ResultListControl();
  list.SetCellText(list.InsertRow(), 0, "a.com");
  const std::vector<std::string> headers = {text::Gbk("域名"), "PC", text::Gbk("移动"), "360", text::Gbk("状态")};
  list.SetColumns(headers);
  EXPECT_EQ(list.RowCount(), 0);
  ASSERT_EQ(list.ColumnCount(), 5);
  for (int column = 0; column < 5; ++column) EXPECT_EQ(list.HeaderText(column), headers[column]);
  EXPECT_EQ(list.HeaderText(5), "");
  const HWND view = Named("超级列表框1");
  const auto width = [view](int column) { return SendMessageW(view, LVM_GETCOLUMNWIDTH, column, 0); };
  // Together narrower than the list: no scrolling sideways.
  EXPECT_EQ(width(0), 125);
  EXPECT_EQ(width(1), 42);
  EXPECT_EQ(width(3), 42);
  EXPECT_EQ(width(4), 110);
  const int row = list.InsertRow();
  list.SetCellText(row, 4, text::Gbk("有权重"));
  EXPECT_EQ(list.CellText(row, 4), text::Gbk("有权重"));
  RECT proposed{100, 100, 900, 800};
  SendMessageW(window_.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&proposed));
  EXPECT_EQ(width(0), 188);
  EXPECT_EQ(width(1), 63);
  list.SetColumns({text::Gbk("域名"), text::Gbk("权重")});
  EXPECT_EQ(width(0), 390);
  EXPECT_EQ(width(1), 120);
  SendMessageW(window_.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&proposed));
  EXPECT_EQ(width(0), 260);
  EXPECT_EQ(width(1), 80);
}

TEST_F(MainWindowTest, DomainBoxTakesATextWithItsLineBreaks) {
  window_.DomainBoxControl().SetText(text::Gbk("a.com\r\n百度.com\nc.com"));
  EXPECT_EQ(SendMessageW(Named("编辑框1"), EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(window_.DomainBoxControl().Text(), text::Gbk("a.com\r\n百度.com\r\nc.com"));
}

TEST(WindowThread, RunsTasksOfAnyThreadInOrderAndDropsThemOnceTheWindowIsClosed) {
  testing::StartLikeTheProgram();
  MainWindow window;
  const std::function<void(std::function<void()>)> post = window.WindowThread();
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<int> ran;
  bool onWindowThread = true;
  std::thread([&] {
    for (int i = 0; i < 200; ++i) {
      post([&ran, &onWindowThread, windowThread, i] {
        onWindowThread = onWindowThread && GetCurrentThreadId() == windowThread;
        ran.push_back(i);
      });
    }
  }).join();
  ASSERT_TRUE(testing::HandleMessagesUntil([&ran] { return ran.size() == 200; }));
  EXPECT_TRUE(onWindowThread);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);

  // Handed over before the close and after: neither runs.
  bool late = false;
  post([&late] { late = true; });
  SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  post([&late] { late = true; });
  EXPECT_EQ(window.RunMessageLoop(), 0);
  EXPECT_FALSE(late);
}

TEST(RegistryStore, KeepsUtf8TextsUnderTheUsersKey) {
  testing::StartLikeTheProgram();
  RegistryStore store;
  EXPECT_FALSE(store.Read("proxies").has_value());
  const std::string proxies = "http://用户:密码@1.2.3.4:8080\r\n5.6.7.8:3128 😀";
  ASSERT_TRUE(store.Write("proxies", proxies, true));
  EXPECT_EQ(store.Read("proxies"), proxies);
  ASSERT_TRUE(store.Write("proxies", "", true));
  EXPECT_EQ(store.Read("proxies"), "");
  const std::wstring longText(5000, L'x');
  ASSERT_TRUE(store.Write("cookie", Utf8FromWide(longText), true));
  EXPECT_EQ(store.Read("cookie")->size(), 5000u);
  testing::ForgetWin32UserState();
  EXPECT_FALSE(store.Read("cookie").has_value());
}

TEST(Layout, ScalesWithTheDpi) {
  EXPECT_EQ(Scale(527, 96), 527);
  EXPECT_EQ(Scale(527, 192), 1054);
  EXPECT_EQ(Scale(215, 144), 323);  // 322.5, rounded as the platform does
  EXPECT_EQ(Scale(8, 120), 10);
  EXPECT_EQ(ControlIdOf("按钮1"), kStartButtonId);
  EXPECT_EQ(ControlIdOf("按钮9"), 0);
}

TEST(WideText, MakesEveryLineBreakCrLf) {
  EXPECT_EQ(WithCrLf(L"a\r\nb\nc\rd\r\n\r\n"), L"a\r\nb\r\nc\r\nd\r\n\r\n");
  EXPECT_EQ(WithCrLf(L"\n\r"), L"\r\n\r\n");
  EXPECT_EQ(WithCrLf(L""), L"");
}

using contract::WindowControlsContract;
INSTANTIATE_TEST_SUITE_P(Win32, WindowControlsContract, ::testing::Values(testing::kWin32Window), contract::KindName);

}  // namespace
}  // namespace rankora::ui::win32
