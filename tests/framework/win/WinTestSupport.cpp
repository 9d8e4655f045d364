#include "tests/framework/win/WinTestSupport.h"

#include <utility>

namespace {
constexpr UINT_PTR kWatchdogTimer = 0x7E57;
constexpr UINT kWatchdogMilliseconds = 30000;

void CALLBACK EndOnWatchdog(HWND dialog, UINT, UINT_PTR, DWORD)
{
    ::EndDialog(dialog, WatchedDialog::kTimedOut);
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder(int answer)
    : m_previous(AfxSetMessageBoxHook([this, answer](const CString& text, const CString& caption, UINT type) {
          m_boxes.push_back({text, caption, type});
          return answer;
      }))
{
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    AfxSetMessageBoxHook(std::move(m_previous));
}

void PumpPendingMessages()
{
    MSG msg;
    for (int i = 0; i < 500 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void PostKey(HWND target, WPARAM virtualKey)
{
    const UINT scanCode = ::MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scanCode) << 16));
}

WatchedDialog::WatchedDialog(UINT nIDTemplate, Script onOpen) : CDialogEx(nIDTemplate), m_onOpen(std::move(onOpen)) {}

BOOL WatchedDialog::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    ::SetTimer(m_hWnd, kWatchdogTimer, kWatchdogMilliseconds, &EndOnWatchdog);
    if (m_onOpen)
        m_onOpen(*this);
    return TRUE;
}
