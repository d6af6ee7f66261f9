//
//  The whitelist's display text and the list whose rows own their entries.
//
#include "classlib/CDialog.h"
#include "tool/CWhiteListControl.h"
#include "tool/WhitelistEntryText.h"
#include "tool/resource.h"
#include "tool/sheet/WhitelistPageFields.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

CString Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text;
}

Quelmar::WhitelistEntry Entry(WORD vid, WORD pid, const wchar_t* serial, int attribute, int useVid, int usePid,
                              int useSerial, int useMaker = 0, int useProduct = 0)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = vid;
    entry.productId = pid;
    entry.serialNumber = serial;
    entry.manufacturer = L"Maker";
    entry.product = L"Stick";
    entry.attribute = attribute;
    entry.useVendorId = useVid;
    entry.useProductId = usePid;
    entry.useSerialNumber = useSerial;
    entry.useManufacturer = useMaker;
    entry.useProduct = useProduct;
    return entry;
}

// An entry that counts its live copies, so a test sees which rows freed theirs.
struct CountedEntry : Quelmar::WhitelistEntry {
    static int live;
    CountedEntry() { ++live; }
    CountedEntry(const CountedEntry& other) : Quelmar::WhitelistEntry(other) { ++live; }
    ~CountedEntry() override { --live; }
};
int CountedEntry::live = 0;

// Counts the messages of one kind that this thread sends to one window.
class SentMessages {
public:
    SentMessages(HWND window, UINT message)
    {
        window_ = window;
        message_ = message;
        count_ = 0;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &SentMessages::Hook, nullptr, GetCurrentThreadId());
    }
    ~SentMessages() { UnhookWindowsHookEx(hook_); }
    int Count() const { return count_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && sent->hwnd == window_ && sent->message == message_) {
            ++count_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static HWND window_;
    static UINT message_;
    static int count_;
    HHOOK hook_;
};
HWND SentMessages::window_ = nullptr;
UINT SentMessages::message_ = 0;
int SentMessages::count_ = 0;

// A dialog of the tool's resources, created modeless, to host a list control.
class ListHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host_.Create(IDD_SELECT_USB_STORAGE)); }
    void TearDown() override
    {
        if (host_.m_hWnd != nullptr) {
            host_.DestroyWindow();
        }
    }
    HWND List() const { return host_.GetDlgItem(IDC_DEVICE_LIST); }

    CDialog host_;
};

}  // namespace

TEST(WhitelistEntryText, ShowsEachUsedPartInOrder)
{
    struct Case {
        Quelmar::WhitelistEntry entry;
        CString expected;
    };
    const Case cases[] = {
        {Entry(0x0411, 0x010C, L"4C53", 0, 0, 0, 0), CString(L"USB")},
        {Entry(0x0411, 0x010C, L"4C53", 2, 1, 1, 1),
         L"USB " + Loaded(IDS_READ_ONLY) + L" VID:0x0411 PID:0x010C " + Loaded(IDS_SERIAL_NUMBER) + L":4C53"},
        {Entry(0x00ab, 0x0001, L"", 0, 1, 0, 0), CString(L"USB VID:0x00AB")},
        {Entry(0, 0, L"", 0, 0, 0, 0, 1, 1),
         L"USB " + Loaded(IDS_MANUFACTURER) + L":Maker " + Loaded(IDS_PRODUCT) + L":Stick"},
        // Attributes other than read-only show nothing.
        {Entry(0, 0x0002, L"", 1, 0, 1, 0), CString(L"USB PID:0x0002")},
    };
    for (const Case& c : cases) {
        CString text;
        EXPECT_TRUE(FormatWhitelistEntry(c.entry, text));
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(ListHost, WhitelistRowsKeepOrderPlaceAndSelection)
{
    CWhiteListControl list;
    ASSERT_TRUE(list.SubclassWindow(List()));
    list.SetColumns();
    for (WORD vid = 1; vid <= 4; ++vid) {
        EXPECT_EQ(list.AddEntry(Entry(vid, 0, L"", 0, 1, 0, 0), 1), vid - 1);
    }
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    list.UpdateEntry(Entry(0x0777, 0, L"", 2, 1, 0, 0), 2);
    EXPECT_EQ(list.GetItemText(2, 0), L"USB " + Loaded(IDS_READ_ONLY) + L" VID:0x0777");
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);

    std::vector<Quelmar::WhitelistEntry> entries;
    list.GetAllEntries(entries);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].vendorId, 1);
    EXPECT_EQ(entries[2].vendorId, 0x0777);
    EXPECT_EQ(entries[2].attribute, 2);
    EXPECT_EQ(entries[3].vendorId, 4);
}

// A whitelist from a large import must open in time: the column is sized to the rows once,
// after they are all in, to the width that sizing after each row ends with.
TEST_F(ListHost, PageFieldsSizeTheColumnOnceForAllTheirRows)
{
    WhitelistPageFields fields;
    ASSERT_TRUE(fields.list.SubclassWindow(List()));
    Quelmar::SettingV3 setting;
    for (WORD vid = 1; vid <= 300; ++vid) {
        setting.whitelist.push_back(Entry(vid, 0, CString(L'x', vid % 40).GetString(), 0, 1, 0, 1));
    }
    SentMessages sizings(List(), LVM_SETCOLUMNWIDTH);
    fields.Load(setting);
    // Once to the empty header, once to the rows.
    EXPECT_EQ(sizings.Count(), 2);
    EXPECT_EQ(fields.list.GetItemCount(), 300);
    const int width = fields.list.GetColumnWidth(0);
    fields.list.SetColumnWidth(0, LVSCW_AUTOSIZE);
    EXPECT_EQ(fields.list.GetColumnWidth(0), width);
}

TEST_F(ListHost, DeleteSelectedRemovesEverySelectedRowAndNothingElse)
{
    CWhiteListControl list;
    ASSERT_TRUE(list.SubclassWindow(List()));
    // The whitelist pages allow several rows to be selected; the host's list allows one.
    SetWindowLongPtrW(List(), GWL_STYLE, GetWindowLongPtrW(List(), GWL_STYLE) & ~LVS_SINGLESEL);
    list.SetColumns();
    for (WORD vid = 0; vid < 4; ++vid) {
        list.AddEntry(Entry(vid, 0, L"", 0, 1, 0, 0), 0);
    }
    list.DeleteSelected();
    EXPECT_EQ(list.GetItemCount(), 4);

    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    list.DeleteSelected();
    std::vector<Quelmar::WhitelistEntry> entries;
    list.GetAllEntries(entries);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].vendorId, 0);
    EXPECT_EQ(entries[1].vendorId, 2);
}

TEST_F(ListHost, RowsFreeTheirCopiesOnEveryKindOfDeletion)
{
    CountedEntry::live = 0;
    const CountedEntry original;
    auto list = std::make_unique<COwningListCtrl<CountedEntry>>();
    ASSERT_TRUE(list->SubclassWindow(List()));
    for (int i = 0; i < 4; ++i) {
        list->AppendRow(L"row", original);
    }
    EXPECT_EQ(CountedEntry::live, 1 + 4);

    list->DeleteItem(0);
    EXPECT_EQ(CountedEntry::live, 1 + 3);
    // Deletions asked of the control by its own messages, as another thread asks.
    SendMessageW(List(), LVM_DELETEITEM, 0, 0);
    EXPECT_EQ(CountedEntry::live, 1 + 2);
    list->DeleteAllItems();
    EXPECT_EQ(CountedEntry::live, 1);
    for (int i = 0; i < 50; ++i) {
        list->AppendRow(L"row", original);
    }
    {
        // Nothing per row: each change of a row is a notification and a redraw.
        SentMessages changes(List(), LVM_SETITEMW);
        SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);
        EXPECT_EQ(changes.Count(), 0);
    }
    EXPECT_EQ(CountedEntry::live, 1);

    // The object goes while its window stays.
    list->AppendRow(L"row", original);
    list->AppendRow(L"row", original);
    list.reset();
    EXPECT_EQ(CountedEntry::live, 1);

    // The window goes with its dialog.
    COwningListCtrl<CountedEntry> second;
    ASSERT_TRUE(second.SubclassWindow(List()));
    for (int i = 0; i < 50; ++i) {
        second.AppendRow(L"row", original);
    }
    EXPECT_EQ(second.GetRow(0), nullptr);
    {
        SentMessages changes(List(), LVM_SETITEMW);
        host_.DestroyWindow();
        EXPECT_EQ(changes.Count(), 0);
    }
    EXPECT_EQ(CountedEntry::live, 1);
}

TEST(OwningList, RowsAreFreedWithTheWindowEvenWithoutAReflectingParent)
{
    CountedEntry::live = 0;
    const CountedEntry original;
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    HWND control = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 100, 100, parent, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    COwningListCtrl<CountedEntry> list;
    ASSERT_TRUE(list.SubclassWindow(control));
    list.AppendRow(L"row", original);
    list.AppendRow(L"row", original);
    DestroyWindow(parent);
    EXPECT_EQ(CountedEntry::live, 1);
}
