#include "core/store/WholeFile.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = CString(temp) + L"qevrin-wholefile-" + CString(std::to_wstring(GetCurrentProcessId()).c_str());
        CreateDirectoryW(folder_, nullptr);
        path_ = folder_ + L"\\Setting.dat";
        Clean();
    }
    void TearDown() override
    {
        Clean();
        RemoveDirectoryW(folder_);
    }
    void Clean()
    {
        DeleteFileW(path_);
        RemoveDirectoryW(PendingFilePath(path_));
        DeleteFileW(PendingFilePath(path_));
    }
    std::vector<BYTE> Read()
    {
        std::vector<BYTE> bytes;
        ReadWholeFile(path_, bytes);
        return bytes;
    }
    static bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

    CString folder_;
    CString path_;
};

const UINT kWriterFlags = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite;

}  // namespace

TEST_F(WholeFileTest, WritesAndReadsBack)
{
    const std::vector<BYTE> bytes = {1, 2, 3, 0, 255};
    WriteWholeFile(path_, bytes);
    EXPECT_EQ(Read(), bytes);
    EXPECT_FALSE(Exists(PendingFilePath(path_)));
}

TEST_F(WholeFileTest, ReplacingLongerFileLeavesExactlyNewImage)
{
    WriteWholeFile(path_, std::vector<BYTE>(4096, 0xAA));
    const std::vector<BYTE> shorter(64, 0x55);
    WriteWholeFile(path_, shorter);
    EXPECT_EQ(Read(), shorter);
}

TEST_F(WholeFileTest, EmptyFileReadsAsNoBytes)
{
    WriteWholeFile(path_, {});
    EXPECT_TRUE(Read().empty());
}

TEST_F(WholeFileTest, MissingFileThrowsFileNotFound)
{
    try {
        Read();
        FAIL() << "read a missing file";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    }
}

TEST_F(WholeFileTest, SaveUnderOpenReaderFailsAndKeepsOldFile)
{
    const std::vector<BYTE> old = {9, 8, 7};
    WriteWholeFile(path_, old);
    {
        CFile reader(path_, CFile::modeRead | CFile::shareDenyWrite);
        EXPECT_THROW(WriteWholeFile(path_, {1, 2, 3, 4}), CFileException);
    }
    EXPECT_EQ(Read(), old);
    EXPECT_FALSE(Exists(PendingFilePath(path_)));
}

TEST_F(WholeFileTest, FailedSaveKeepsOldFile)
{
    const std::vector<BYTE> old = {1, 1, 2, 3, 5, 8};
    WriteWholeFile(path_, old);
    // The new image cannot be written where it must go first.
    ASSERT_TRUE(CreateDirectoryW(PendingFilePath(path_), nullptr));
    EXPECT_THROW(WriteWholeFile(path_, {4, 4}), CFileException);
    EXPECT_EQ(Read(), old);
}

TEST_F(WholeFileTest, StalePendingFileFromInterruptedSaveIsOverwritten)
{
    {
        CFile stale(PendingFilePath(path_), kWriterFlags);
        std::vector<BYTE> junk(1000, 0xEE);
        stale.Write(junk.data(), static_cast<UINT>(junk.size()));
    }
    const std::vector<BYTE> bytes = {42};
    WriteWholeFile(path_, bytes);
    EXPECT_EQ(Read(), bytes);
    EXPECT_FALSE(Exists(PendingFilePath(path_)));
}

TEST_F(WholeFileTest, ReaderWaitsOutBriefWriterLock)
{
    const std::vector<BYTE> bytes = {3, 1, 4};
    WriteWholeFile(path_, bytes);
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread writer([&] {
        CFile file(path_, kWriterFlags);
        SetEvent(opened);
        Sleep(150);
    });
    WaitForSingleObject(opened, INFINITE);
    EXPECT_EQ(Read(), bytes);
    writer.join();
    CloseHandle(opened);
}

TEST_F(WholeFileTest, ReaderGivesUpOnLastingLock)
{
    WriteWholeFile(path_, {1});
    CFile writer(path_, kWriterFlags);
    try {
        Read();
        FAIL() << "read a file that another handle denies";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::sharingViolation);
    }
}
