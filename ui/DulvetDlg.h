#pragma once
// The main window: the relay's settings as a form, the Start and Modify
// commands, and the activity log, which it hosts for the worker.

#include <atomic>

#include "ui/ActivityLog.h"
#include "ui/EditLogBox.h"
#include "framework/win/Framework.h"
#include "relay/LogHost.h"
#include "res/resource.h"

class CDulvetDlg : public CDialogEx, public LogHost {
public:
    explicit CDulvetDlg(CWnd* pParent = nullptr);
    ~CDulvetDlg() override;

    enum { IDD = IDD_DULVET_DIALOG };

    // LogHost: called by the worker; the lines reach the box on this
    // dialog's thread.
    void AppendLog(const CString& line) override;
    void ScrollLogToEnd() override;

    // A message the worker's log posts; its handler refreshes the box.
    static constexpr UINT WM_LOG_REFRESH = WM_APP + 1;
    // Runs while the log holds back further refreshes.
    static constexpr UINT_PTR kLogHoldTimer = 1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnBnClickedOk();
    afx_msg void OnBnClickedModify();
    afx_msg LRESULT OnLogRefresh(WPARAM, LPARAM);
    afx_msg LRESULT OnTimer(WPARAM timerId, LPARAM);
    afx_msg LRESULT OnDestroyWindow(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

public:
    HICON m_hIcon;
    ActivityLog m_strLog;
    int m_nPort = 0;
    int m_nSvrPort = 0;
    double m_dLossRate = 0.0;
    int m_nDelayMs = 0;
    CString m_strIP = L"0";
    CString m_strSvrIP = L"0";

private:
    enum class Scroll { Stay, ToEnd };

    void PrepareLogBox();
    void AddAboutToSystemMenu();
    bool CheckPortsAndServer() const;
    bool OpenRelaySocket();
    void ApplyAndShowSettings(Scroll scroll);
    void WakeForLogRefresh();
    // Runs fn(box, boxWindow) with the log box as the log sees it; nothing
    // when the dialog has no log box.
    template <typename Fn>
    void WithLogBox(Fn fn)
    {
        if (CWnd* box = GetDlgItem(IDC_LOG)) {
            EditLogBox edit(box->GetSafeHwnd());
            fn(edit, box->GetSafeHwnd());
        }
    }

    // Where the worker's log posts its refresh requests; null once the
    // window is gone. Read by the worker, hence atomic.
    std::atomic<HWND> m_hLogTarget{nullptr};
};
