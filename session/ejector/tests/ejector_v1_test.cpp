//
//  Ejection through the first generation's disc master service: the drive found by its device
//  target, CD writers with blank media only, and the exclusive use of each drive ended only
//  where it was taken.
//
#include "session/ejector/CIMAPIEjectorImpV1.h"
#include "session/ejector/tests/DiscTestFixture.h"

namespace {

using testbed::DiscMedia;

class EjectorV1 : public DiscTest {};

TEST_F(EjectorV1, EjectsBlankMediaFromCdWritersOnly)
{
    struct Case {
        wchar_t letter;
        DiscMedia media;
        long recorderType;
        unsigned ejected;
    };
    const Case cases[] = {
        {L'D', DiscMedia::Blank, RECORDER_CDR | RECORDER_CDRW, 1},
        {L'E', DiscMedia::Recorded, RECORDER_CDR | RECORDER_CDRW, 0},
        {L'F', DiscMedia::None, RECORDER_CDR | RECORDER_CDRW, 0},
        {L'G', DiscMedia::Blank, 0, 0},  // a CD-ROM drive writes nothing
        {L'H', DiscMedia::Blank, RECORDER_CDR, 1},
        {L'I', DiscMedia::Unreadable, RECORDER_CDRW, 0},
    };
    for (const Case& c : cases)
        discs.AddRecorder(c.letter, c.media).recorderType = c.recorderType;

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV1>(0xFFFFFFFF), 0u);
    for (const Case& c : cases)
        EXPECT_EQ(discs.FindByLetter(c.letter)->ejected, c.ejected) << "drive " << char(c.letter);
}

TEST_F(EjectorV1, FindsTheDriveByItsDeviceTargetAndLeavesOthers)
{
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    testbed::DiscRecorder& folder = discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\", DiscMedia::Blank);
    testbed::DiscRecorder& unmounted = discs.AddUnmountedRecorder(DiscMedia::Blank);

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV1>(Bit(L'C') | Bit(L'E')), 0u);
    EXPECT_EQ(d.ejected, 0u);
    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV1>(0xFFFFFFFF), 0u);
    EXPECT_EQ(d.ejected, 1u);
    EXPECT_EQ(folder.ejectAttempts + unmounted.ejectAttempts, 0u);
}

TEST_F(EjectorV1, ClosesOnlyTheDrivesItOpened)
{
    testbed::DiscRecorder& held = discs.AddRecorder(L'D', DiscMedia::Blank);
    held.heldByOtherProgram = true;
    testbed::DiscRecorder& burning = discs.AddRecorder(L'E', DiscMedia::Blank);
    burning.burning = true;
    testbed::DiscRecorder& idle = discs.AddRecorder(L'F', DiscMedia::Blank);

    EjectWith<CIMAPIEjectorImpV1>(0xFFFFFFFF);
    for (testbed::DiscRecorder* drive : {&held, &burning, &idle}) {
        EXPECT_EQ(drive->closesWithoutOpen, 0u) << drive->devicePath;
        EXPECT_EQ(drive->exclusiveHolder, nullptr) << drive->devicePath;
    }
    EXPECT_TRUE(held.heldByOtherProgram);
    EXPECT_EQ(held.ejected + burning.ejected, 0u);
    EXPECT_EQ(idle.ejected, 1u);
}

TEST_F(EjectorV1, FailedEjectionsWaitInThePendingMask)
{
    discs.AddRecorder(L'D', DiscMedia::Blank).ejectResult = E_FAIL;
    discs.AddRecorder(L'E', DiscMedia::Blank);

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV1>(0xFFFFFFFF), Bit(L'D'));
    EXPECT_EQ(discs.FindByLetter(L'E')->ejected, 1u);
}

TEST_F(EjectorV1, GivesBackEveryPathAndObject)
{
    discs.AddRecorder(L'D', DiscMedia::Blank);
    discs.AddRecorder(L'E', DiscMedia::Recorded).heldByOtherProgram = true;
    discs.AddUnmountedRecorder(DiscMedia::Blank);

    EjectWith<CIMAPIEjectorImpV1>(0xFFFFFFFF);
    ExpectEverythingGivenBack();
}

TEST_F(EjectorV1, KeepsEjectingAfterTheDiscMasterServerRestarted)
{
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    {
        CIMAPIEjectorImpV1 ejector;
        ASSERT_EQ(ejector.Initialize(), S_OK);
        discs.RestartMasterServer();
        DWORD pending = 0;
        ejector.Eject(0xFFFFFFFF, pending);
        EXPECT_EQ(pending, 0u);
        EXPECT_EQ(d.ejected, 1u);

        discs.RestartMasterServer();
        d.media = DiscMedia::Blank;
        ejector.Eject(Bit(L'D'), pending);
        EXPECT_EQ(d.ejected, 2u);
        ejector.Uninitialize();
    }
    ExpectEverythingGivenBack();
}

TEST_F(EjectorV1, InitializeFailsWithoutTheDiscMasterService)
{
    discs.firstGenerationRegistered = false;
    CIMAPIEjectorImpV1 ejector;
    EXPECT_EQ(ejector.Initialize(), REGDB_E_CLASSNOTREG);
}

}  // namespace
