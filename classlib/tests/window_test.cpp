//
//  Windows and dialogs of the class library: binding, dispatch, the modal loop, data exchange.
//
#include "classlib/CCommandLineInfo.h"
#include "classlib/CDialog.h"
#include "classlib/CException.h"
#include "classlib/CPropertySheet.h"
#include "classlib/DataExchange.h"
#include "classlib/tests/window_test_resources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A top-level window of the library's own class.
class MainWindow : public CWnd {
public:
    MainWindow()
    {
        const RECT rect = {10, 10, 300, 200};
        created = CreateEx(0, AfxRegisterWndClass(0), L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, rect, nullptr, 0);
    }
    ~MainWindow() override
    {
        if (m_hWnd != nullptr) {
            DestroyWindow();
        }
    }
    BOOL created = FALSE;
};

// Ends itself from a posted message, and records what it saw on the way.
class ProbeDialog : public CDialog {
public:
    explicit ProbeDialog(CWnd* parent = nullptr) : CDialog(IDD_TEST_DIALOG, parent) {}

    INT_PTR RunHidden() { return RunModal(FALSE); }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        owner = ::GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledDuringRun = owner ? ::IsWindowEnabled(owner) : -1;
        if (endInInit) {
            EndDialog(endInInit);
        } else if (quitInInit) {
            PostQuitMessage(quitInInit);
        } else {
            // Timers come only when the queue is empty: the loop has been idle by then.
            SetTimer(1, 50);
        }
        return TRUE;
    }
    void OnTimer(UINT_PTR) override
    {
        KillTimer(1);
        EndDialog(42);
    }
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_WINDOWPOSCHANGING && (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW)) {
            ownerEnabledAtHide = owner ? ::IsWindowEnabled(owner) : -1;
        }
        if (message == WM_SHOWWINDOW && wParam) {
            shown = true;
        }
        return CDialog::OnWndMsg(message, wParam, lParam, result);
    }

    int endInInit = 0;
    int quitInInit = 0;
    HWND owner = nullptr;
    int ownerEnabledDuringRun = -2;
    int ownerEnabledAtHide = -2;
    bool shown = false;
};

bool ThreadMessageWaiting(UINT message, WPARAM* wParam = nullptr)
{
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, message, message, PM_REMOVE)) {
        return false;
    }
    if (wParam) {
        *wParam = msg.wParam;
    }
    return true;
}

}  // namespace

TEST(CDialogModal, OwnerIsDisabledWhileRunningAndEnabledBeforeTheDialogHides)
{
    MainWindow main;
    ASSERT_TRUE(main.created);
    ProbeDialog dialog(&main);
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.owner, main.m_hWnd);
    EXPECT_EQ(dialog.ownerEnabledDuringRun, FALSE);
    EXPECT_EQ(dialog.ownerEnabledAtHide, TRUE);
    EXPECT_TRUE(dialog.shown);
    EXPECT_TRUE(main.IsWindowEnabled());
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(CDialogModal, WithoutParentTheMainWindowOwnsTheDialog)
{
    MainWindow main;
    AfxSetMainWnd(&main);
    ProbeDialog dialog;
    EXPECT_EQ(dialog.DoModal(), 42);
    AfxSetMainWnd(nullptr);
    EXPECT_EQ(dialog.owner, main.m_hWnd);
    EXPECT_EQ(dialog.ownerEnabledDuringRun, FALSE);
}

TEST(CDialogModal, EndDialogDuringInitRunsNoLoop)
{
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 9, 0, 0);
    ProbeDialog dialog;
    dialog.endInInit = 7;
    EXPECT_EQ(dialog.DoModal(), 7);
    // A loop would have taken the thread's message.
    EXPECT_TRUE(ThreadMessageWaiting(WM_APP + 9));
    EXPECT_FALSE(dialog.shown);
}

TEST(CDialogModal, QuitEndsTheLoopAndIsPostedAgain)
{
    ProbeDialog dialog;
    dialog.quitInInit = 5;
    EXPECT_EQ(dialog.DoModal(), -1);
    WPARAM code = 0;
    EXPECT_TRUE(ThreadMessageWaiting(WM_QUIT, &code));
    EXPECT_EQ(code, 5u);
}

TEST(CDialogModal, HiddenModeNeverShowsTheDialogByItself)
{
    ProbeDialog dialog;
    EXPECT_EQ(dialog.RunHidden(), 42);
    EXPECT_FALSE(dialog.shown);
}

namespace {

class ExchangeDialog : public CDialog {
public:
    ExchangeDialog() : CDialog(IDD_TEST_DIALOG) {}
    BOOL OnCmdMsg(UINT id, int code) override
    {
        if (id == IDC_TEST_EDIT && code == EN_CHANGE) {
            ++editChanges;
            return TRUE;
        }
        return CDialog::OnCmdMsg(id, code);
    }
    int editChanges = 0;
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, IDC_TEST_EDIT, text);
        DDX_Check(dx, IDC_TEST_CHECK, check);
        DDX_Radio(dx, IDC_TEST_RADIO_FIRST, radio);
        DDX_Control(dx, IDC_TEST_LIST, list);
    }
    CString text;
    int check = 0;
    int radio = 0;
    CWnd list;
};

}  // namespace

TEST(DataExchange, MovesValuesBothWaysAndBindsControls)
{
    ExchangeDialog dialog;
    dialog.text = L"値";
    dialog.check = BST_CHECKED;
    dialog.radio = 2;
    ASSERT_TRUE(dialog.Create(IDD_TEST_DIALOG));
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(dialog.list.m_hWnd, dialog.GetDlgItem(IDC_TEST_LIST));
    EXPECT_EQ(CWnd::FromHandlePermanent(dialog.list.m_hWnd), &dialog.list);
    EXPECT_EQ(SendDlgItemMessageW(dialog.m_hWnd, IDC_TEST_RADIO_THIRD, BM_GETCHECK, 0, 0), BST_CHECKED);

    SetDlgItemTextW(dialog.m_hWnd, IDC_TEST_EDIT, L"changed");
    CheckDlgButton(dialog.m_hWnd, IDC_TEST_CHECK, BST_UNCHECKED);
    CheckRadioButton(dialog.m_hWnd, IDC_TEST_RADIO_FIRST, IDC_TEST_RADIO_THIRD, IDC_TEST_RADIO_SECOND);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.text, L"changed");
    EXPECT_EQ(dialog.check, BST_UNCHECKED);
    EXPECT_EQ(dialog.radio, 1);

    CheckRadioButton(dialog.m_hWnd, IDC_TEST_RADIO_FIRST, IDC_TEST_RADIO_THIRD, 0);
    SendDlgItemMessageW(dialog.m_hWnd, IDC_TEST_RADIO_SECOND, BM_SETCHECK, BST_UNCHECKED, 0);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.radio, -1);

    // The edit hears of a text only when it differs from the one it shows.
    dialog.editChanges = 0;
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(dialog.editChanges, 0);
    dialog.text = L"other";
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(dialog.editChanges, 1);

    const HWND list = dialog.list.m_hWnd;
    dialog.DestroyWindow();
    // Both let go of their handles once the windows are gone.
    EXPECT_EQ(dialog.list.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(list), nullptr);
}

namespace {

// Records what reaches it through the library's dispatch.
class DispatchDialog : public CDialog {
public:
    DispatchDialog() : CDialog(IDD_TEST_DIALOG) {}
    BOOL OnCmdMsg(UINT id, int code) override
    {
        commands.push_back({id, code});
        return id == IDC_TEST_BUTTON ? TRUE : CDialog::OnCmdMsg(id, code);
    }
    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override
    {
        parentNotifications.push_back(header->code);
        *result = 0;
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override { timers.push_back(id); }
    LRESULT OnDeviceChange(UINT eventType, DWORD_PTR) override
    {
        deviceEvents.push_back(eventType);
        return Default();
    }
    std::vector<std::pair<UINT, int>> commands;
    std::vector<UINT> parentNotifications;
    std::vector<UINT_PTR> timers;
    std::vector<UINT> deviceEvents;
};

class ReflectingList : public CWnd {
public:
    BOOL OnReflectedNotify(NMHDR* header, LRESULT* result) override
    {
        if (header->code == LVN_DELETEITEM) {
            ++deletions;
            *result = 0;
            return TRUE;
        }
        return FALSE;
    }
    int deletions = 0;
};

}  // namespace

TEST(CWndDispatch, CommandsNotificationsTimersAndDeviceChangesReachTheirHandlers)
{
    DispatchDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_TEST_DIALOG));
    ReflectingList list;
    ASSERT_TRUE(list.SubclassDlgItem(IDC_TEST_LIST, &dialog));
    dialog.commands.clear();

    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED),
                       reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDC_TEST_BUTTON)));
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_EDIT, EN_CHANGE),
                       reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDC_TEST_EDIT)));
    ASSERT_EQ(dialog.commands.size(), 2u);
    EXPECT_EQ(dialog.commands[0], std::make_pair(UINT(IDC_TEST_BUTTON), int(BN_CLICKED)));
    EXPECT_EQ(dialog.commands[1], std::make_pair(UINT(IDC_TEST_EDIT), int(EN_CHANGE)));

    // The list's own deletions go back to the list; other codes stay with the dialog.
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<LPWSTR>(L"row");
    SendMessageW(list.m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list.m_hWnd, LVM_DELETEITEM, 0, 0);
    EXPECT_EQ(list.deletions, 1);
    NMHDR header = {list.m_hWnd, IDC_TEST_LIST, NM_CLICK};
    dialog.SendMessage(WM_NOTIFY, IDC_TEST_LIST, reinterpret_cast<LPARAM>(&header));
    ASSERT_FALSE(dialog.parentNotifications.empty());
    EXPECT_EQ(dialog.parentNotifications.back(), static_cast<UINT>(NM_CLICK));

    dialog.SendMessage(WM_TIMER, 0x77);
    EXPECT_EQ(dialog.timers, std::vector<UINT_PTR>{0x77});
    dialog.SendMessage(WM_DEVICECHANGE, 0x0007);
    EXPECT_EQ(dialog.deviceEvents, std::vector<UINT>{0x0007});
    dialog.DestroyWindow();
}

TEST(CStringResource, LoadsJapaneseAndLongTextsWhole)
{
    CString text;
    ASSERT_TRUE(text.LoadString(IDS_TEST_SHORT));
    EXPECT_EQ(text, L"設定を変更できません。");
    ASSERT_TRUE(text.LoadString(IDS_TEST_LONG));
    EXPECT_EQ(text.GetLength(), 280);
    EXPECT_FALSE(text.LoadString(999));
    EXPECT_TRUE(text.IsEmpty());
}

namespace {

struct RecordingCommandLine : CCommandLineInfo {
    void ParseParam(const wchar_t* param, BOOL flag, BOOL last) override
    {
        seen.push_back(std::wstring(param) + (flag ? L"|flag" : L"") + (last ? L"|last" : L""));
    }
    std::vector<std::wstring> seen;
};

}  // namespace

TEST(CCommandLineInfo, HandsEachParameterWithoutItsFlagPrefix)
{
    RecordingCommandLine line;
    ASSERT_TRUE(line.ParseCommandLine(L"/Wizard -x \"two words\" plain"));
    const std::vector<std::wstring> expected = {L"Wizard|flag", L"x|flag", L"two words", L"plain|last"};
    EXPECT_EQ(line.seen, expected);
}

TEST(CException, MessagesAreCutToTheBufferAndTerminated)
{
    wchar_t buffer[8];
    CResourceException exception(ERROR_NOT_ENOUGH_MEMORY);
    ASSERT_TRUE(exception.GetErrorMessage(buffer, 8));
    EXPECT_EQ(std::wstring(buffer).size(), 7u);
    UINT help = 9;
    EXPECT_FALSE(CUserException().GetErrorMessage(buffer, 8, &help));
    EXPECT_EQ(help, 0u);
    EXPECT_EQ(buffer[0], L'\0');
}

namespace {

constexpr UINT WM_TEST_STEP = WM_APP + 20;

void PressOk(HWND sheet)
{
    ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
}

class RecordingPage : public CPropertyPage {
public:
    RecordingPage(int number, std::vector<std::wstring>& events) : CPropertyPage(IDD_TEST_DIALOG), number_(number), events_(events) {}
    BOOL OnSetActive() override
    {
        Record(L"set");
        if (onFirstShow) {
            PostMessage(WM_TEST_STEP);
        }
        return CPropertyPage::OnSetActive();
    }
    BOOL OnKillActive() override
    {
        Record(L"kill");
        return CPropertyPage::OnKillActive();
    }
    BOOL OnApply() override
    {
        Record(L"apply");
        if (refuseApplies > 0) {
            --refuseApplies;
            PostMessage(WM_TEST_STEP);
            return FALSE;
        }
        return CPropertyPage::OnApply();
    }
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_TEST_STEP) {
            std::function<void()> step = onFirstShow;
            onFirstShow = nullptr;
            if (step) {
                step();
            } else {
                PressOk(GetSheetWindow());
            }
            *result = 0;
            return TRUE;
        }
        return CPropertyPage::OnWndMsg(message, wParam, lParam, result);
    }
    std::function<void()> onFirstShow;
    int refuseApplies = 0;

private:
    void Record(const wchar_t* what) { events_.push_back(std::to_wstring(number_) + L":" + what); }
    int number_;
    std::vector<std::wstring>& events_;
};

}  // namespace

TEST(CPropertySheet, OkTakesKillActiveThenApplyFromTheShownPage)
{
    std::vector<std::wstring> events;
    RecordingPage first(1, events);
    RecordingPage second(2, events);
    CPropertySheet sheet(L"シート");
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    first.onFirstShow = [&] { PressOk(sheet.m_hWnd); };
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_EQ(events, (std::vector<std::wstring>{L"1:set", L"1:kill", L"1:apply"}));
    EXPECT_EQ(sheet.m_hWnd, nullptr);
    EXPECT_EQ(first.m_hWnd, nullptr);
}

TEST(CPropertySheet, RefusedApplyKeepsTheSheetOpen)
{
    std::vector<std::wstring> events;
    RecordingPage page(1, events);
    page.refuseApplies = 1;
    CPropertySheet sheet(L"シート");
    sheet.AddPage(&page);
    page.onFirstShow = [&] { PressOk(sheet.m_hWnd); };
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_EQ(events, (std::vector<std::wstring>{L"1:set", L"1:kill", L"1:apply", L"1:kill", L"1:apply"}));
}

TEST(CPropertySheet, EndDialogEndsTheSheetWithItsCode)
{
    std::vector<std::wstring> events;
    RecordingPage page(1, events);
    CPropertySheet sheet(L"シート");
    sheet.AddPage(&page);
    page.onFirstShow = [&] { sheet.EndDialog(77); };
    EXPECT_EQ(sheet.DoModal(), 77);
}
