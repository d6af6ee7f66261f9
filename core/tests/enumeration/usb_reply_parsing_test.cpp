#include "core/usb/UsbReplyParsing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 267-byte descriptor request whose data part holds the given bytes.
std::vector<BYTE> Reply(std::vector<BYTE> data)
{
    std::vector<BYTE> request(kDescriptorRequestHeader + 255, 0);
    for (size_t i = 0; i < data.size(); ++i)
        request[kDescriptorRequestHeader + i] = data[i];
    return request;
}

TEST(AcceptStringDescriptor, TakesOnlyWellFormedReplies)
{
    struct Case {
        const char* what;
        std::vector<BYTE> data;
        DWORD returned;
        bool accepted;
    } cases[] = {
        {"well formed", {6, 3, 'A', 0, 'B', 0}, 12 + 6, true},
        {"header only", {2, 3}, 12 + 2, true},
        {"odd bLength", {7, 3, 'A', 0, 'B', 0, 'C'}, 12 + 7, false},
        {"wrong type", {6, 1, 'A', 0, 'B', 0}, 12 + 6, false},
        {"short count", {6, 3, 'A', 0, 'B', 0}, 12 + 4, false},
        {"zero bLength", {0, 3}, 12, false},
        {"one data byte", {2}, 12 + 1, false},
        {"count beyond the buffer", {254, 3}, 12 + 254 + 100, false},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> request = Reply(c.data);
        std::vector<BYTE> descriptor{0xEE};
        EXPECT_EQ(AcceptStringDescriptor(request.data(), request.size(), c.returned, descriptor), c.accepted) << c.what;
        if (c.accepted) {
            EXPECT_EQ(descriptor, std::vector<BYTE>(c.data.begin(), c.data.begin() + c.data[0])) << c.what;
        } else {
            EXPECT_EQ(descriptor, std::vector<BYTE>{0xEE}) << c.what;
        }
    }
}

TEST(ScanUsbInstanceId, ReadsTheFieldsAsTheScannerWould)
{
    struct Case {
        const WCHAR* id;
        int fields;
        DWORD vendor;
        DWORD product;
        const WCHAR* rest;
    } cases[] = {
        {_T("USB\\VID_0781&PID_5567\\4C530001"), 3, 0x0781, 0x5567, _T("4C530001")},
        {_T("USB\\VID_0x0781&PID_ 5567\\ A B"), 3, 0x0781, 0x5567, _T("A")},
        {_T("USB\\VID_0781&PID_5567\\"), 2, 0x0781, 0x5567, _T("")},
        {_T("USB\\VID_0781&PID_5567&MI_00\\7&1&0"), 2, 0x0781, 0x5567, _T("")},
        {_T("USB\\VID_0781&PID_XYZ\\1"), 1, 0x0781, 0, _T("")},
        {_T("usb\\vid_0781&pid_5567\\1"), 0, 0, 0, _T("")},
        {_T(""), 0, 0, 0, _T("")},
    };
    for (const Case& c : cases) {
        DWORD vendor = 0, product = 0;
        CString rest;
        EXPECT_EQ(ScanUsbInstanceId(CString(c.id), vendor, product, rest), c.fields);
        EXPECT_EQ(vendor, c.vendor);
        if (c.fields >= 2) {
            EXPECT_EQ(product, c.product);
        }
        EXPECT_EQ(rest, CString(c.rest));
    }
}

TEST(TextFromLittleEndianBytes, EndsAtTheFirstNulOrTheLastWholeUnit)
{
    const BYTE bytes[] = {'A', 0, 0x42, 0x30, 0, 0, 'C', 0};
    EXPECT_EQ(TextFromLittleEndianBytes(bytes, sizeof bytes), CString(_T("A\x3042")));
    EXPECT_EQ(TextFromLittleEndianBytes(bytes, 3), CString(_T("A")));
    EXPECT_EQ(TextFromLittleEndianBytes(bytes, 0), CString());
}

}  // namespace
