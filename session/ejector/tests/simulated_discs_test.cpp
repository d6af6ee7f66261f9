//
//  The simulated disc recorders answer the way the platform does where the ejector and the
//  service depend on it.
//
#include "classlib/ComPtr.h"
#include "classlib/platform/ImapiV1.h"
#include "classlib/platform/ImapiV2.h"
#include "session/ejector/tests/DiscTestFixture.h"

#include <string>
#include <thread>

namespace {

using testbed::DiscMedia;

class SimulatedDiscs : public DiscTest {};

TEST_F(SimulatedDiscs, DriveLettersAnswerTheRecorderDevicePath)
{
    testbed::DiscRecorder& d = discs.AddRecorder(L'D');
    testbed::DiscRecorder& folder = discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\");
    EXPECT_NE(d.devicePath, folder.devicePath);
    EXPECT_NE(d.uniqueId, folder.uniqueId);
    wchar_t target[512];
    ASSERT_NE(QueryDosDeviceW(L"D:", target, 512), 0u);
    EXPECT_EQ(std::wstring(target), d.devicePath);
    EXPECT_EQ(GetDriveTypeW(L"D:\\"), UINT(DRIVE_CDROM));
}

TEST_F(SimulatedDiscs, EachGenerationAnswersOnlyInItsOwnContext)
{
    struct Case {
        const CLSID* clsid;
        const IID* iid;
        DWORD context;
        HRESULT result;
    };
    const Case cases[] = {
        {&CLSID_MSDiscMasterObj, &IID_IDiscMaster, CLSCTX_LOCAL_SERVER, S_OK},
        {&CLSID_MSDiscMasterObj, &IID_IDiscMaster, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        {&CLSID_MsftDiscMaster2, &IID_IDiscMaster2, CLSCTX_INPROC_SERVER, S_OK},
        {&CLSID_MsftDiscMaster2, &IID_IDiscMaster2, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
        {&CLSID_MsftDiscFormat2Data, &IID_IDiscFormat2Data, CLSCTX_ALL, S_OK},
        {&CLSID_MsftDiscRecorder2, &IID_IDiscMaster, CLSCTX_INPROC_SERVER, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, c.context, *c.iid, object.ReceiveVoid()), c.result);
        EXPECT_EQ(bool(object), c.result == S_OK);
    }
    discs.imapi2.present = false;
    ComPtr<IDiscMaster2> master;
    EXPECT_EQ(CoCreateInstance(CLSID_MsftDiscMaster2, nullptr, CLSCTX_ALL, IID_IDiscMaster2, master.ReceiveVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(discs.LiveObjects(), 0);
}

TEST_F(SimulatedDiscs, ARestartedServerLeavesItsObjectsGoneAndItsHoldsEnded)
{
    discs.AddRecorder(L'D');
    ComPtr<IDiscMaster> master;
    ASSERT_EQ(CoCreateInstance(CLSID_MSDiscMasterObj, nullptr, CLSCTX_LOCAL_SERVER, IID_IDiscMaster, master.ReceiveVoid()), S_OK);
    ComPtr<IEnumDiscRecorders> recorders;
    EXPECT_EQ(master->EnumDiscRecorders(recorders.Receive()), IMAPI_E_NOTOPENED);
    ASSERT_EQ(master->Open(), S_OK);
    ASSERT_EQ(master->EnumDiscRecorders(recorders.Receive()), S_OK);
    ComPtr<IDiscRecorder> recorder;
    ULONG fetched = 0;
    ASSERT_EQ(recorders->Next(1, recorder.Receive(), &fetched), S_OK);
    ASSERT_EQ(recorder->OpenExclusive(), S_OK);
    ULONG state = 0;
    EXPECT_EQ(recorder->GetRecorderState(&state), S_OK);
    EXPECT_EQ(state, RECORDER_OPENED);

    discs.RestartMasterServer();
    EXPECT_EQ(recorder->GetRecorderState(&state), kDiscMasterServerGone);
    EXPECT_EQ(master->EnumDiscRecorders(recorders.Receive()), kDiscMasterServerGone);
    EXPECT_EQ(discs.FindByLetter(L'D')->exclusiveHolder, nullptr);
}

TEST_F(SimulatedDiscs, CreationNeedsComOnTheCallingThread)
{
    HRESULT result = S_OK;
    std::thread worker([&result] {
        ComPtr<IDiscMaster2> master;
        result = CoCreateInstance(CLSID_MsftDiscMaster2, nullptr, CLSCTX_INPROC_SERVER, IID_IDiscMaster2, master.ReceiveVoid());
    });
    worker.join();
    EXPECT_EQ(result, CO_E_NOTINITIALIZED);
}

}  // namespace
