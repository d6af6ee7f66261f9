//
//  Ejection through the second generation: which drives go, which stay, what is retried, and
//  that everything handed out comes back.
//
#include "session/ejector/CIMAPIEjectorImpV2.h"
#include "session/ejector/tests/DiscTestFixture.h"

namespace {

using testbed::DiscMedia;

class EjectorV2 : public DiscTest {};

TEST_F(EjectorV2, EjectsBlankMediaAndMediaWhoseStateCannotBeRead)
{
    struct Case {
        wchar_t letter;
        DiscMedia media;
        HRESULT mediaError;
        unsigned ejected;
    };
    const Case cases[] = {
        {L'D', DiscMedia::Blank, S_OK, 1},
        {L'E', DiscMedia::Recorded, S_OK, 0},
        {L'F', DiscMedia::None, S_OK, 0},
        {L'G', DiscMedia::Unreadable, E_FAIL, 1},
        {L'H', DiscMedia::Unreadable, HRESULT_FROM_WIN32(ERROR_NOT_READY), 1},
    };
    for (const Case& c : cases)
        discs.AddRecorder(c.letter, c.media).mediaError = c.mediaError;

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFFFFFFFF), 0u);
    for (const Case& c : cases)
        EXPECT_EQ(discs.FindByLetter(c.letter)->ejected, c.ejected) << "drive " << char(c.letter);
}

TEST_F(EjectorV2, NeverEjectsARecorderWithoutADriveLetter)
{
    testbed::DiscRecorder& folder = discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\", DiscMedia::Blank);
    testbed::DiscRecorder& unmounted = discs.AddUnmountedRecorder(DiscMedia::Blank);

    // Drive C: holds the folder; its bit must not reach the recorder mounted there.
    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(Bit(L'C')), 0u);
    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFFFFFFFF), 0u);
    EXPECT_EQ(folder.ejectAttempts, 0u);
    EXPECT_EQ(unmounted.ejectAttempts, 0u);
}

TEST_F(EjectorV2, EjectsOnlyDrivesInTheMaskAndIgnoresBitsAbove25)
{
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    testbed::DiscRecorder& e = discs.AddRecorder(L'E', DiscMedia::Blank);

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFC000000), 0u);
    EXPECT_EQ(d.ejectAttempts + e.ejectAttempts, 0u);
    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFC000000 | Bit(L'E')), 0u);
    EXPECT_EQ(d.ejected, 0u);
    EXPECT_EQ(e.ejected, 1u);
}

TEST_F(EjectorV2, FailedEjectionsWaitInThePendingMask)
{
    discs.AddRecorder(L'D', DiscMedia::Blank).ejectResult = E_FAIL;
    discs.AddRecorder(L'E', DiscMedia::Blank).heldByOtherProgram = true;
    testbed::DiscRecorder& f = discs.AddRecorder(L'F', DiscMedia::Blank);

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFFFFFFFF), Bit(L'D') | Bit(L'E'));
    EXPECT_EQ(f.ejected, 1u);
}

TEST_F(EjectorV2, LeavesADriveTheDataWriterCannotUse)
{
    testbed::DiscRecorder& readOnly = discs.AddRecorder(L'D', DiscMedia::Blank);
    readOnly.dataWriterSupported = false;

    EXPECT_EQ(EjectWith<CIMAPIEjectorImpV2>(0xFFFFFFFF), 0u);
    EXPECT_EQ(readOnly.ejectAttempts, 0u);
}

TEST_F(EjectorV2, GivesBackEveryIdPathListAndObjectOnEveryPath)
{
    discs.AddRecorder(L'D', DiscMedia::Blank);
    discs.AddRecorder(L'E', DiscMedia::Recorded);
    discs.AddRecorder(L'F', DiscMedia::Blank).ejectResult = E_FAIL;
    discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\", DiscMedia::Blank);
    discs.AddUnmountedRecorder(DiscMedia::None);

    EjectWith<CIMAPIEjectorImpV2>(0xFFFFFFFF);
    EjectWith<CIMAPIEjectorImpV2>(Bit(L'Q'));
    EXPECT_GT(discs.DataWritersCreated(), 0u);
    ExpectEverythingGivenBack();
}

TEST_F(EjectorV2, InitializeFailsWhereTheSystemHasNoImapi2)
{
    discs.imapi2.present = false;
    CIMAPIEjectorImpV2 ejector;
    EXPECT_EQ(ejector.Initialize(), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    DWORD pending = 0;
    ejector.Eject(0xFFFFFFFF, pending);
    EXPECT_EQ(pending, 0u);
}

}  // namespace
