#include "classlib/CFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"qevrin-cfile-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        path_ = folder_ + L"\\file.bin";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void WriteAll(const std::string& bytes)
    {
        CFile file(path_.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    }

    std::string ReadAll()
    {
        CFile file(path_.c_str(), CFile::modeRead | CFile::shareDenyWrite);
        std::string bytes(static_cast<size_t>(file.GetLength()), '\0');
        EXPECT_EQ(file.Read(&bytes[0], static_cast<UINT>(bytes.size())), bytes.size());
        return bytes;
    }

    std::wstring folder_;
    std::wstring path_;
};

const UINT kReadDenyWrite = CFile::modeRead | CFile::shareDenyWrite;
const UINT kCreateKeepWriteDenyWrite = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite;

}  // namespace

TEST_F(FileTest, ModeValuesAreThoseStoredItemsUse)
{
    EXPECT_EQ(kReadDenyWrite, 0x20u);
    EXPECT_EQ(kCreateKeepWriteDenyWrite, 0x3021u);
}

TEST_F(FileTest, OpeningMissingFileThrowsFileNotFound)
{
    try {
        CFile file(path_.c_str(), kReadDenyWrite);
        FAIL() << "opened a missing file";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e.m_lOsError, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(e.m_strFileName, CString(path_.c_str()));
    }
}

TEST_F(FileTest, OpenReportsFailureWithoutThrowing)
{
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path_.c_str(), kReadDenyWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileTest, CreateWithoutTruncateKeepsExistingBytesUntilLengthIsSet)
{
    WriteAll("0123456789");
    {
        CFile file(path_.c_str(), kCreateKeepWriteDenyWrite);
        EXPECT_EQ(file.GetLength(), 10u);
        file.SetLength(3);
        file.SeekToBegin();
        file.Write("abc", 3);
    }
    EXPECT_EQ(ReadAll(), "abc");
}

TEST_F(FileTest, CreateWithoutTruncateMakesMissingFile)
{
    {
        CFile file(path_.c_str(), kCreateKeepWriteDenyWrite);
        file.Write("xy", 2);
    }
    EXPECT_EQ(ReadAll(), "xy");
}

TEST_F(FileTest, ReaderDeniesWritersButNotOtherReaders)
{
    WriteAll("data");
    CFile reader(path_.c_str(), kReadDenyWrite);

    CFile second;
    EXPECT_TRUE(second.Open(path_.c_str(), kReadDenyWrite));

    CFile writer;
    CFileException error;
    EXPECT_FALSE(writer.Open(path_.c_str(), kCreateKeepWriteDenyWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
}

TEST_F(FileTest, WriterDeniesReaders)
{
    CFile writer(path_.c_str(), kCreateKeepWriteDenyWrite);
    CFile reader;
    CFileException error;
    EXPECT_FALSE(reader.Open(path_.c_str(), kReadDenyWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    EXPECT_EQ(error.m_lOsError, ERROR_SHARING_VIOLATION);
}

TEST_F(FileTest, ReadStopsAtEndOfFile)
{
    WriteAll("abc");
    CFile file(path_.c_str(), kReadDenyWrite);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 3u);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);
}

TEST_F(FileTest, WriteOnReadOnlyHandleThrows)
{
    WriteAll("abc");
    CFile file(path_.c_str(), kReadDenyWrite);
    EXPECT_THROW(file.Write("z", 1), CFileException);
}
