#include "core/usb/UsbDeviceHandle.h"
#include "core/usb/UsbHubWalker.h"
#include "core/usb/UsbRequests.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testbed::Reach;
using testbed::UsbStick;

std::wstring W(const CString& text) { return text.GetString(); }

struct PortVisit {
    ULONG port;
    ULONG status;
    WORD vendorId;
    UCHAR speed;
};

// Records what the walker hands to its hooks.
class RecordingWalker : public UsbHubWalker {
public:
    explicit RecordingWalker(DWORD passes) : UsbHubWalker(passes) {}
    void OnDevice(HANDLE, ULONG port, const UsbConnectionInformation& information) override
    {
        visits.push_back({port, ULONG(information.info.ConnectionStatus), information.info.DeviceDescriptor.idVendor,
                          information.info.Speed});
    }
    void OnHubDevNode(DEVINST node) override { hubNodes.push_back(node); }
    void OnOtherDevNode(DEVINST node) override { otherNodes.push_back(node); }

    std::vector<WORD> ConnectedVendors() const
    {
        std::vector<WORD> vendors;
        for (const auto& visit : visits)
            if (visit.status == 1)
                vendors.push_back(visit.vendorId);
        return vendors;
    }

    std::vector<PortVisit> visits;
    std::vector<DEVINST> hubNodes;
    std::vector<DEVINST> otherNodes;
};

TEST(UsbHubWalker, ControllerReachableByNameAndInterfaceIsWalkedOnce)
{
    testbed::Machine pc;
    pc.AddHostController(4, Reach::ByNameAndInterface).RootHub().Plug(1, UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"A1"));
    RecordingWalker walker(UsbHubWalker::WALK_CONTROLLERS_BY_NAME | UsbHubWalker::WALK_CONTROLLER_INTERFACES);
    walker.Walk();

    ASSERT_EQ(walker.visits.size(), 4u);  // ports 1 to 4, never port 0
    for (ULONG i = 0; i < 4; ++i)
        EXPECT_EQ(walker.visits[i].port, i + 1);
    EXPECT_EQ(walker.visits[0].status, 1u);
    EXPECT_EQ(walker.visits[1].status, 0u);  // an empty port still reaches the hook
    EXPECT_EQ(pc.OpenHandleCount(), 0u);

    walker.Walk();  // each walk starts with an empty visited list
    EXPECT_EQ(walker.visits.size(), 8u);
}

TEST(UsbHubWalker, NestedHubsAreWalkedDepthFirstInPortOrder)
{
    testbed::Machine pc;
    testbed::UsbHub& root = pc.AddHostController(4).RootHub();
    root.Plug(1, UsbStick(0xA, 1, L"A", L"A", L"A"));
    testbed::UsbHub& outer = root.PlugHub(2, 4);
    testbed::UsbHub& inner = outer.PlugHub(1, 2);
    testbed::UsbHub& deepest = inner.PlugHub(1, 2);
    deepest.Plug(2, UsbStick(0xC, 1, L"C", L"C", L"C"));
    outer.Plug(3, UsbStick(0xB, 1, L"B", L"B", L"B"));
    root.Plug(4, UsbStick(0xD, 1, L"D", L"D", L"D"));
    RecordingWalker walker(UsbHubWalker::WALK_CONTROLLERS_BY_NAME);
    walker.Walk();

    EXPECT_EQ(walker.ConnectedVendors(), (std::vector<WORD>{0xA, 0xC, 0xB, 0xD}));
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST(UsbHubWalker, ControllersByNameComeBeforeThoseOnlyReachableByInterface)
{
    testbed::Machine pc;
    pc.AddHostController(1, Reach::ByInterface).RootHub().Plug(1, UsbStick(0x1, 1, L"I", L"I", L"I"));
    pc.AddHostController(1, Reach::ByName).RootHub().Plug(1, UsbStick(0x2, 1, L"N", L"N", L"N"));
    RecordingWalker walker(UsbHubWalker::WALK_CONTROLLERS_BY_NAME | UsbHubWalker::WALK_CONTROLLER_INTERFACES);
    walker.Walk();
    EXPECT_EQ(walker.ConnectedVendors(), (std::vector<WORD>{0x2, 0x1}));

    RecordingWalker byInterface(UsbHubWalker::WALK_CONTROLLER_INTERFACES);
    byInterface.Walk();
    EXPECT_EQ(byInterface.ConnectedVendors(), (std::vector<WORD>{0x1}));
}

TEST(UsbHubWalker, HubWhoseNodeInformationFailsIsSkipped)
{
    testbed::Machine pc;
    testbed::UsbHub& root = pc.AddHostController(2).RootHub();
    testbed::UsbHub& broken = root.PlugHub(1, 4);
    broken.Plug(1, UsbStick(0xE, 1, L"E", L"E", L"E"));
    broken.failNodeInformation = true;
    root.Plug(2, UsbStick(0xF, 1, L"F", L"F", L"F"));
    RecordingWalker walker(UsbHubWalker::WALK_CONTROLLERS_BY_NAME);
    walker.Walk();
    EXPECT_EQ(walker.ConnectedVendors(), (std::vector<WORD>{0xF}));
}

TEST(GetNodeConnectionInfo, PlainRequestFallbackConvertsTheLowSpeedFlag)
{
    struct Case {
        BYTE deviceSpeed;
        bool extended;
        UCHAR reported;
    } cases[] = {
        {0, true, 0}, {2, true, 2},          // the extended request reports the speed itself
        {0, false, 0}, {1, false, 1}, {2, false, 1},  // the plain one knows only low or not
    };
    for (const Case& c : cases) {
        testbed::Machine pc;
        testbed::UsbHub& root = pc.AddHostController(1).RootHub();
        testbed::UsbDeviceSpec spec = UsbStick(0x0781, 0x5567, L"M", L"P", L"S");
        spec.speed = c.deviceSpeed;
        root.Plug(1, spec);
        root.Port(1).extendedRequest = c.extended;
        UsbDeviceHandle hub(CString(L"\\\\.\\") + root.Name().c_str());
        ASSERT_TRUE(hub.IsOpen());
        UsbConnectionInformation information = {};
        ASSERT_TRUE(GetNodeConnectionInfo(hub.Get(), 1, information));
        EXPECT_EQ(information.info.Speed, c.reported) << int(c.deviceSpeed) << " " << c.extended;
        EXPECT_EQ(information.info.ConnectionIndex, 1u);
        EXPECT_EQ(information.info.DeviceDescriptor.idProduct, 0x5567);
        EXPECT_EQ(information.info.ConnectionStatus, DeviceConnected);
        EXPECT_EQ(information.info.NumberOfOpenPipes, 2u);
        EXPECT_EQ(information.pipes[1].EndpointDescriptor.bEndpointAddress, 0x02);
    }
}

// A stick on the only port of a root hub, with the hub opened as the walker opens it.
struct StickOnRootHub {
    testbed::Machine pc;
    testbed::UsbHub& root = pc.AddHostController(1).RootHub();
    testbed::UsbDevice& stick = root.Plug(1, UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer Blade", L"4C530001"));
    UsbDeviceHandle hub{CString(L"\\\\.\\") + root.Name().c_str()};
};

TEST(GetStringDescriptorText, ReadsWellFormedStringsAndLanguages)
{
    StickOnRootHub machine;
    machine.stick.ReplyToString(0, {{6, 3, 0x09, 0x04, 0x11, 0x04}, 12 + 6, 0});
    std::vector<WORD> languages{1, 2, 3};
    ASSERT_TRUE(GetLanguageIds(machine.hub.Get(), 1, languages));
    EXPECT_EQ(languages, (std::vector<WORD>{0x0409, 0x0411}));

    CString text;
    ASSERT_TRUE(GetStringDescriptorText(text, machine.hub.Get(), 1, 2, 0x0409));
    EXPECT_EQ(W(text), L"Cruzer Blade");
    // A NUL inside the descriptor ends the text.
    machine.stick.ReplyToString(1, {{10, 3, 'A', 0, 'B', 0, 0, 0, 'C', 0}, 12 + 10, 0});
    ASSERT_TRUE(GetStringDescriptorText(text, machine.hub.Get(), 1, 1, 0x0409));
    EXPECT_EQ(W(text), L"AB");
}

TEST(GetStringDescriptorText, RefusesEveryMalformedReply)
{
    struct Case {
        const char* what;
        testbed::UsbRawReply reply;
    } cases[] = {
        {"odd bLength", {{7, 3, 'A', 0, 'B', 0, 'C'}, 12 + 7, 0}},
        {"wrong type", {{6, 1, 'A', 0, 'B', 0}, 12 + 6, 0}},
        {"short count", {{6, 3, 'A', 0, 'B', 0}, 12 + 4, 0}},
        {"long count", {{6, 3, 'A', 0, 'B', 0}, 12 + 8, 0}},
        {"one byte", {{2}, 12 + 1, 0}},
        {"zero bLength", {{0, 3}, 12, 0}},
        {"failed request", {{}, 0, ERROR_GEN_FAILURE}},
    };
    for (const Case& c : cases) {
        StickOnRootHub machine;
        machine.stick.ReplyToString(2, c.reply);
        CString text(L"old");
        std::vector<BYTE> bytes{9};
        EXPECT_FALSE(GetStringDescriptorText(text, machine.hub.Get(), 1, 2, 0x0409)) << c.what;
        EXPECT_TRUE(text.IsEmpty()) << c.what;
        SetLastError(ERROR_SUCCESS);
        const BOOL read = GetUsbStringDescriptor(machine.hub.Get(), bytes, 1, 2, 0x0409);
        const DWORD error = GetLastError();
        EXPECT_FALSE(read) << c.what;
        EXPECT_NE(error, DWORD(ERROR_SUCCESS)) << c.what;  // a refusal counts as a failed request
        EXPECT_EQ(bytes, std::vector<BYTE>{9}) << c.what;  // output untouched on refusal
    }
}

// Drivers differ in the byte count they report for a name reply; the name is read from the
// reply buffer either way.
TEST(UsbNameRequests, ReadControllerHubAndPortNamesWhateverByteCountIsReported)
{
    for (auto count : {testbed::Machine::NameByteCount::WholeReply, testbed::Machine::NameByteCount::FixedPart}) {
        const char* what = count == testbed::Machine::NameByteCount::WholeReply ? "whole reply" : "fixed part";
        testbed::Machine pc;
        pc.nameByteCount = count;
        testbed::UsbHostController& controller = pc.AddHostController(3);
        testbed::UsbHub& hub = controller.RootHub().PlugHub(2, 4);
        testbed::UsbDeviceSpec noDriver = UsbStick(1, 2, L"", L"", L"");
        noDriver.hasDriverKey = false;
        controller.RootHub().Plug(3, noDriver);
        testbed::UsbDevice& stick = controller.RootHub().Plug(1, UsbStick(1, 2, L"", L"", L"S"));

        UsbDeviceHandle hcd(CString(L"\\\\.\\HCD0"));
        ASSERT_TRUE(hcd.IsOpen());
        CString name;
        ASSERT_TRUE(GetHcdDriverKeyName(hcd.Get(), name)) << what;
        EXPECT_EQ(W(name), controller.DriverKey()) << what;
        ASSERT_TRUE(GetRootHubName(hcd.Get(), name)) << what;
        EXPECT_EQ(W(name), controller.RootHub().Name()) << what;

        UsbDeviceHandle root(CString(L"\\\\.\\") + name);
        ASSERT_TRUE(root.IsOpen());
        ASSERT_TRUE(GetNodeConnectionDriverKeyName(root.Get(), 1, name)) << what;
        EXPECT_EQ(W(name), stick.DriverKey()) << what;
        ASSERT_TRUE(GetNodeConnectionName(root.Get(), 2, name)) << what;
        EXPECT_EQ(W(name), hub.Name()) << what;
        CString kept(L"kept");
        EXPECT_FALSE(GetNodeConnectionDriverKeyName(root.Get(), 3, kept));  // no driver installed
        EXPECT_FALSE(GetNodeConnectionName(root.Get(), 1, kept));            // not a hub
        EXPECT_FALSE(GetNodeConnectionDriverKeyName(root.Get(), 4, kept));   // beyond the last port
        EXPECT_EQ(W(kept), L"kept");
    }
}

TEST(ParseUsbInstanceId, TakesIdsAndSerialOnlyFromTheUsbPattern)
{
    struct Case {
        const wchar_t* id;
        WORD vendor;
        WORD product;
        const wchar_t* serial;
    } cases[] = {
        {L"USB\\VID_0781&PID_5567\\4C530001", 0x0781, 0x5567, L"4C530001"},
        {L"USB\\VID_0781&PID_5567\\5&1D7BD3A0&0&2", 0x0781, 0x5567, L""},  // made up by the bus driver
        {L"USB\\VID_1234&PID_ABCD&MI_00\\6&2&0", 0xFFFF, 0xFFFF, L""},        // no backslash after the product id: ids unset
        {L"USB\\VID_11234&PID_ABCD\\X", 0x1234, 0xABCD, L"X"},                // low 16 bits
        {L"USBSTOR\\DISK&VEN_X\\1", 0xFFFF, 0xFFFF, L""},
    };
    for (const Case& c : cases) {
        testbed::Machine pc;
        testbed::DeviceNode& node = pc.AddNode(pc.Root(), c.id);
        node.SetProperty(CM_DRP_LOCATION_INFORMATION, L"Port_#0002.Hub_#0001");
        CString serial(L"old"), location;
        WORD vendor = 0xFFFF, product = 0xFFFF;
        EXPECT_TRUE(ParseUsbInstanceId(serial, node.Handle(), vendor, product, location)) << c.id;
        EXPECT_EQ(vendor, c.vendor) << c.id;
        EXPECT_EQ(product, c.product) << c.id;
        EXPECT_EQ(W(serial), c.serial) << c.id;
        EXPECT_EQ(W(location), L"Port_#0002.Hub_#0001") << c.id;
    }
    CString serial;
    CString location;
    WORD vendor = 0, product = 0;
    EXPECT_FALSE(ParseUsbInstanceId(serial, 0, vendor, product, location));
}

TEST(FindDevNodeByDriverKey, FindsKeysThatDifferOnlyInCase)
{
    testbed::Machine pc;
    testbed::UsbHub& hub = pc.AddHostController(2).RootHub().PlugHub(1, 2);
    testbed::UsbDevice& stick = hub.Plug(2, UsbStick(1, 2, L"", L"", L"S"));
    stick.Node()->SetProperty(CM_DRP_DRIVER, L"{36FC9E60-C465-11CF-8056-444553540000}\\0042");

    EXPECT_EQ(FindDevNodeByDriverKey(CString(L"{36fc9e60-c465-11cf-8056-444553540000}\\0042")), stick.Node()->Handle());
    EXPECT_EQ(FindDevNodeByDriverKey(CString(L"{36fc9e60-c465-11cf-8056-444553540000}\\9999")), 0u);
    EXPECT_EQ(FindDevNodeByDriverKey(CString()), 0u);
}

TEST(UsbHubWalker, DeviceTreePassFindsControllersAndHubsByServiceOrDescription)
{
    testbed::Machine pc;
    testbed::UsbHostController& controller = pc.AddHostController(2, Reach::ByInterface);
    controller.Node()->SetProperty(CM_DRP_SERVICE, L"usbxhci").SetProperty(CM_DRP_DEVICEDESC, L"USB xHCI 準拠ホスト コントローラー");
    testbed::UsbHub& hub = controller.RootHub().PlugHub(1, 2);
    hub.Node()->SetProperty(CM_DRP_SERVICE, L"usbhub3").SetProperty(CM_DRP_DEVICEDESC, L"汎用 USB ハブ");
    testbed::UsbDevice& inner = hub.Plug(2, UsbStick(1, 2, L"", L"", L"S"));
    testbed::UsbDevice& outer = controller.RootHub().Plug(2, UsbStick(3, 4, L"", L"", L"T"));
    // Not a host controller: a node with children but neither the service nor the words.
    testbed::DeviceNode& other = pc.AddNode(pc.Root(), L"PCI\\VEN_1\\0");
    other.SetProperty(CM_DRP_DEVICEDESC, L"USB Audio");
    pc.AddNode(other, L"X\\Y\\0");

    RecordingWalker walker(UsbHubWalker::WALK_DEVICE_TREE);
    walker.Walk();
    EXPECT_EQ(walker.hubNodes, (std::vector<DEVINST>{controller.RootHub().Node()->Handle(), hub.Node()->Handle()}));
    EXPECT_EQ(walker.otherNodes, (std::vector<DEVINST>{inner.Node()->Handle(), outer.Node()->Handle()}));
    EXPECT_EQ(pc.OpenHandleCount(), 0u);

    // A controller already walked through its interface is not walked again by the tree pass.
    RecordingWalker both(UsbHubWalker::WALK_CONTROLLER_INTERFACES | UsbHubWalker::WALK_DEVICE_TREE);
    both.Walk();
    EXPECT_TRUE(both.hubNodes.empty());
    EXPECT_EQ(both.ConnectedVendors(), (std::vector<WORD>{1, 3}));
}

}  // namespace
