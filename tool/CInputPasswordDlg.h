#pragma once
//
//  The unlock dialog: asks for the password and, when a USB key device is configured, watches
//  the attached devices and closes by itself as soon as the key alone unlocks. With a key
//  device it starts invisible and shows itself after 3 s or at the first device list that
//  does not unlock. Windows builds only.
//
#include "classlib/CDialog.h"
#include "core/model/PasswordData.h"
#include "tool/EnumeratorThreadOwner.h"
#include "tool/PasswordVerifier.h"

class CInputPasswordDlg : public CDialog {
public:
    // passwordData stays owned by the caller (the tool core) and must outlive the dialog.
    explicit CInputPasswordDlg(const Quelmar::PasswordData* passwordData, CWnd* parent = nullptr);
    ~CInputPasswordDlg() override;

    // DoModal without showing the window when the loop is idle: only the dialog's own code
    // shows it.
    INT_PTR DoModalHidden();

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnTimer(UINT_PTR idEvent) override;
    LRESULT OnDeviceChange(UINT eventType, DWORD_PTR data) override;

    static constexpr UINT_PTR kRevealTimerId = 0x1000;
    static constexpr UINT kRevealDelayMs = 3000;

    CString m_password;

private:
    void StartHiddenTimer();
    void ShowDialog();
    LRESULT OnDevicesChanged();
    void CopyDevices(std::vector<UsbStorageDevice>& devices);

    const Quelmar::PasswordData* passwordData_;
    EnumeratorThreadOwner thread_;
    UINT_PTR revealTimer_ = 0;
    Quelmar::PasswordVerifier verifier_;
};
