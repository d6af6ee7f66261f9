// The file search of the class library over a folder the test fills.
#include "classlib/CFileFind.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class FileFindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"qevrin-find-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        for (const wchar_t* name : {L"a.dat", L"b.dat", L"c.txt"}) {
            HANDLE file = CreateFileW((folder_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                      nullptr);
            CloseHandle(file);
        }
    }
    void TearDown() override
    {
        for (const wchar_t* name : {L"a.dat", L"b.dat", L"c.txt"}) {
            DeleteFileW((folder_ + L"\\" + name).c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring folder_;
};

TEST_F(FileFindTest, StepsThroughEveryMatchWithItsPath)
{
    CFileFind find;
    ASSERT_TRUE(find.FindFile((folder_ + L"\\*.dat").c_str()));
    std::set<std::wstring> names;
    BOOL more = TRUE;
    while (more) {
        more = find.FindNextFile();
        names.insert(find.GetFileName().GetString());
        EXPECT_EQ(folder_ + L"\\" + find.GetFileName().GetString(), std::wstring(find.GetFilePath().GetString()));
        EXPECT_FALSE(find.IsDirectory());
    }
    EXPECT_EQ((std::set<std::wstring>{L"a.dat", L"b.dat"}), names);
    EXPECT_FALSE(find.FindNextFile());
}

TEST_F(FileFindTest, MissingFileIsNotFoundAndFolderShowsDots)
{
    CFileFind find;
    EXPECT_FALSE(find.FindFile((folder_ + L"\\CDBurning.dat").c_str()));
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_TRUE(find.GetFileName().IsEmpty());

    ASSERT_TRUE(find.FindFile((folder_ + L"\\*").c_str()));
    int dots = 0;
    BOOL more = TRUE;
    while (more) {
        more = find.FindNextFile();
        dots += find.IsDots() ? 1 : 0;
    }
    EXPECT_EQ(2, dots);
}

}  // namespace
