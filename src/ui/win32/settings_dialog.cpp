#include "ui/win32/settings_dialog.h"

// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <string>
#include <vector>

#include "app/texts.h"
#include "files/whole_file.h"
#include "text/gbk.h"
#include "ui/win32/file_choice.h"
#include "ui/win32/layout.h"
#include "ui/win32/wide_text.h"

namespace rankora::ui::win32 {
namespace {

using text::Gbk;

std::wstring Words(const char* utf8) { return WideFromUtf8(utf8); }

// Places in dialog units, so the dialog follows its font and the DPI.
struct Item {
  int id;  // 0 for a label
  const wchar_t* windowClass;
  const char* caption;  // UTF-8
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;
};

constexpr int kWidth = 300;
constexpr int kHeight = 218;
constexpr int kLabelWidth = 118;
constexpr int kField = 124;
constexpr int kFieldWidth = kWidth - kField - 7;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kEdit = kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kNumber = kEdit | ES_NUMBER;

// In the order Tab moves through them.
const Item kItems[] = {
    {0, L"STATIC", "来源：", kLabel, 0, 7, 9, kLabelWidth, 10},
    {kSettingsSourceId, L"COMBOBOX", nullptr, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, kField, 7,
     kFieldWidth, 80},
    {0, L"STATIC", "爱站接口 key：", kLabel, 0, 7, 27, kLabelWidth, 10},
    {kSettingsKeyId, L"EDIT", nullptr, kEdit | ES_PASSWORD, WS_EX_CLIENTEDGE, kField, 25, kFieldWidth, 13},
    {0, L"STATIC", "爱站网页 cookie：", kLabel, 0, 7, 45, kLabelWidth, 10},
    {kSettingsCookieId, L"EDIT", nullptr, kEdit | ES_PASSWORD, WS_EX_CLIENTEDGE, kField, 43, kFieldWidth, 13},
    {0, L"STATIC", "出口（每行一个代理，例如 http://用户名:密码@1.2.3.4:8080；不填则直接连接）：", kLabel, 0, 7, 63,
     kLabelWidth, 40},
    {kSettingsProxiesId, L"EDIT", nullptr,
     kChild | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE,
     kField, 61, kFieldWidth, 62},
    {kSettingsLoadProxiesId, L"BUTTON", "从文件载入…", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, kField, 127, 70, 14},
    {0, L"STATIC", "每个出口每分钟查询（0 为不限）：", kLabel, 0, 7, 149, kLabelWidth, 10},
    {kSettingsPerMinuteId, L"EDIT", nullptr, kNumber, WS_EX_CLIENTEDGE, kField, 147, 50, 13},
    {0, L"STATIC", "同时进行的查询：", kLabel, 0, 7, 167, kLabelWidth, 10},
    {kSettingsInFlightId, L"EDIT", nullptr, kNumber, WS_EX_CLIENTEDGE, kField, 165, 50, 13},
    {0, L"STATIC", "出口被限制后第一次冷却(分钟)：", kLabel, 0, 7, 185, kLabelWidth, 10},
    {kSettingsCoolDownId, L"EDIT", nullptr, kNumber, WS_EX_CLIENTEDGE, kField, 183, 50, 13},
    {IDOK, L"BUTTON", "确定", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kWidth - 114, kHeight - 21, 50, 14},
    {IDCANCEL, L"BUTTON", "取消", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, kWidth - 57, kHeight - 21, 50, 14},
};

const char* const kSources[] = {"旧接口（原来的请求）", "爱站网页", "爱站接口"};

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  const int length = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length < 0 ? 0 : length));
  return text;
}

std::wstring Trimmed(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// A number box's value; -1 for an empty or unreadable one, which the check
// then refuses as out of range.
int NumberOf(HWND dialog, int id) {
  BOOL read = FALSE;
  const UINT value = GetDlgItemInt(dialog, id, &read, FALSE);
  return read && value <= 1000000 ? static_cast<int>(value) : -1;
}

void ShowProblem(HWND dialog, const std::string& gbk) {
  MessageBoxW(dialog, Wide(gbk).c_str(), Wide(app::GetTexts().messageTitle).c_str(), MB_OK);
}

app::Settings Chosen(HWND dialog) {
  app::Settings settings;
  const LRESULT source = SendDlgItemMessageW(dialog, kSettingsSourceId, CB_GETCURSEL, 0, 0);
  settings.source = static_cast<lookup::SourceKind>(source >= 0 && source <= 2 ? source : 0);
  settings.key = Utf8FromWide(Trimmed(TextOf(GetDlgItem(dialog, kSettingsKeyId))));
  settings.cookie = Utf8FromWide(Trimmed(TextOf(GetDlgItem(dialog, kSettingsCookieId))));
  settings.proxies = Narrow(WithCrLf(TextOf(GetDlgItem(dialog, kSettingsProxiesId))));
  settings.perMinute = NumberOf(dialog, kSettingsPerMinuteId);
  settings.inFlight = NumberOf(dialog, kSettingsInFlightId);
  settings.coolDownMinutes = NumberOf(dialog, kSettingsCoolDownId);
  return settings;
}

void Fill(HWND dialog, const app::Settings& settings) {
  const HWND source = GetDlgItem(dialog, kSettingsSourceId);
  for (const char* name : kSources) {
    SendMessageW(source, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Words(name).c_str()));
  }
  SendMessageW(source, CB_SETCURSEL, static_cast<WPARAM>(settings.source), 0);
  SetDlgItemTextW(dialog, kSettingsKeyId, WideFromUtf8(settings.key).c_str());
  SetDlgItemTextW(dialog, kSettingsCookieId, WideFromUtf8(settings.cookie).c_str());
  SetDlgItemTextW(dialog, kSettingsProxiesId, WithCrLf(Wide(settings.proxies)).c_str());
  SetDlgItemInt(dialog, kSettingsPerMinuteId, static_cast<UINT>(settings.perMinute), FALSE);
  SetDlgItemInt(dialog, kSettingsInFlightId, static_cast<UINT>(settings.inFlight), FALSE);
  SetDlgItemInt(dialog, kSettingsCoolDownId, static_cast<UINT>(settings.coolDownMinutes), FALSE);
}

void CreateItems(HWND dialog) {
  const auto font = static_cast<WPARAM>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const Item& item : kItems) {
    RECT place{item.left, item.top, item.left + item.width, item.top + item.height};
    MapDialogRect(dialog, &place);
    const std::wstring caption = item.caption == nullptr ? std::wstring() : Words(item.caption);
    const HWND control =
        CreateWindowExW(item.exStyle, item.windowClass, caption.c_str(), item.style, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, dialog,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id == 0 ? -1 : item.id)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, font, FALSE);
  }
}

void LoadProxyFile(HWND dialog) {
  const std::optional<std::filesystem::path> file =
      ChooseFileName(dialog, {{{"文本文件 (*.txt)", "*.txt"}, {"所有文件", "*.*"}}, false, {}, {}});
  if (!file) return;
  const files::ReadResult read = files::ReadWholeFile(*file);
  if (read.error) {
    ShowProblem(dialog, Gbk("读不了这个文件。"));
    return;
  }
  SetDlgItemTextW(dialog, kSettingsProxiesId, WithCrLf(WideFromUtf8(read.bytes)).c_str());
}

// No exception leaves it, as for the main window's procedure.
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    switch (message) {
      case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CreateItems(dialog);
        Fill(dialog, *reinterpret_cast<const app::Settings*>(lParam));
        SetFocus(GetDlgItem(dialog, kSettingsSourceId));
        return FALSE;
      }
      case WM_COMMAND: {
        auto* settings = reinterpret_cast<app::Settings*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (LOWORD(wParam)) {
          case IDOK: {
            const app::Settings chosen = Chosen(dialog);
            const app::SettingsCheck check = app::CheckSettings(chosen);
            if (!check.Ok()) {
              ShowProblem(dialog, check.problem);
              return TRUE;
            }
            *settings = chosen;
            EndDialog(dialog, IDOK);
            return TRUE;
          }
          case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
          case kSettingsLoadProxiesId:
            if (HIWORD(wParam) == BN_CLICKED) LoadProxyFile(dialog);
            return TRUE;
          default:
            return FALSE;
        }
      }
      default:
        return FALSE;
    }
  } catch (...) {
    return TRUE;
  }
}

// An in-memory template of the dialog alone: its controls are made when it
// starts, from kItems.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words;
  const auto put32 = [&words](DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
  };
  const auto putText = [&words](const std::wstring& text) {
    words.insert(words.end(), text.begin(), text.end());
    words.push_back(0);
  };
  put32(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
  put32(0);
  words.push_back(0);  // no items
  words.push_back(0);  // x
  words.push_back(0);  // y
  words.push_back(kWidth);
  words.push_back(kHeight);
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  putText(Words("设置"));
  words.push_back(9);  // points
  putText(L"MS Shell Dlg");
  return words;
}

}  // namespace

bool EditSettingsModally(HWND owner, app::Settings& settings) {
  const std::vector<WORD> layout = DialogTemplate();
  app::Settings edited = settings;
  const INT_PTR ended =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), owner,
                              DialogProcedure, reinterpret_cast<LPARAM>(&edited));
  if (ended != IDOK) return false;
  settings = edited;
  return true;
}

}  // namespace rankora::ui::win32
