// The CD/DVD ejector's test variant as a program of its own, on the simulated recorders of
// each platform generation: blank media ejected at start and when media arrives, failed
// ejections retried, and device-change records that say too little left alone. The steps of
// one generation run in order on one running ejector.
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/drive/ScmSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using scmtest::WindowsPath;
using scmtest::WriteText;
using testbed::variant::ControlRequestOnce;

struct Generation {
    const char* name;
    const char* windows;
    const char* imapi;
};

struct RecorderState {
    std::string media;
    unsigned ejected = 0;
    unsigned attempts = 0;
};

const char kFailure[] = "0x80004005";

std::string Scenario(const Generation& generation)
{
    return std::string("windows ") + generation.windows + "\n" +
           "driver absent\n"
           "time-scale 10\n"
           "system-disk system id=\"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000\" volumes=C\n"
           "imapi " + generation.imapi + "\n"
           "recorder d letter=D media=blank\n"
           "recorder e letter=E media=recorded\n"
           "recorder f letter=F media=none\n"
           "recorder dvd folder=\"C:\\mnt\\dvd\\\" media=blank\n";
}

BOOL CALLBACK CloseWindowOf(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId))
        PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

class EjectorVariant : public ::testing::TestWithParam<Generation> {
protected:
    void SetUp() override
    {
        wchar_t folder[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
        scenarioPath_ = std::wstring(folder) + L"qevrin-ejector-variant.scenario";
        ASSERT_TRUE(WriteText(scenarioPath_, Scenario(GetParam())));
        SetEnvironmentVariableW(L"QEVRIN_TESTBED_SCENARIO", scenarioPath_.c_str());
        std::wstring line = L"\"" + WindowsPath(QEVRIN_EJECTOR_VARIANT) + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
            << GetLastError();
        process_.Reset(started.hProcess);
        CloseHandle(started.hThread);
        processId_ = started.dwProcessId;
        ASSERT_EQ(ControlRequestOnce("ping", 20000), "ok");
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"QEVRIN_TESTBED_SCENARIO", nullptr);
        if (!process_.IsValid())
            return;
        // The ejector ends when its hidden window closes, as at logoff.
        EnumWindows(&CloseWindowOf, static_cast<LPARAM>(processId_));
        if (WaitForSingleObject(process_.Get(), 20000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.Get(), 1);
            ADD_FAILURE() << "the ejector did not end when its window closed";
        } else {
            DWORD code = 1;
            GetExitCodeProcess(process_.Get(), &code);
            EXPECT_EQ(code, 0u);
        }
        DeleteFileW(scenarioPath_.c_str());
    }

    void Ask(const std::string& request)
    {
        const std::string reply = ControlRequestOnce(request);
        EXPECT_EQ(reply.substr(0, 2), "ok") << request << ": " << reply;
    }

    // Sends a media arrival for the drives to the ejector's top-level windows (its hidden
    // window among them).
    void Arrival(const std::string& request)
    {
        const std::string reply = ControlRequestOnce("volume-arrival " + request);
        EXPECT_TRUE(reply.rfind("ok windows ", 0) == 0 && reply != "ok windows 0") << request << ": " << reply;
    }

    std::map<std::string, RecorderState> Discs()
    {
        std::map<std::string, RecorderState> recorders;
        std::istringstream reply(ControlRequestOnce("discs"));
        std::string line;
        while (std::getline(reply, line)) {
            std::istringstream words(line);
            std::string word, name, letter, key;
            words >> word;
            if (word != "recorder")
                continue;
            RecorderState state;
            words >> name >> letter >> key >> state.media >> key >> state.ejected >> key >> state.attempts;
            recorders[name] = state;
        }
        return recorders;
    }

    // Polls the recorders until the condition holds or 20 seconds pass.
    bool WaitFor(const std::function<bool(std::map<std::string, RecorderState>&)>& condition)
    {
        const ULONGLONG deadline = GetTickCount64() + 20000;
        for (;;) {
            std::map<std::string, RecorderState> recorders = Discs();
            if (recorders.size() == 4 && condition(recorders))
                return true;
            if (GetTickCount64() > deadline)
                return false;
            Sleep(50);
        }
    }

    void ExpectUntouched(const std::string& name)
    {
        std::map<std::string, RecorderState> recorders = Discs();
        EXPECT_EQ(recorders[name].attempts, 0u) << name;
        EXPECT_EQ(recorders[name].ejected, 0u) << name;
    }

private:
    std::wstring scenarioPath_;
    ScopedHandle process_;
    DWORD processId_ = 0;
};

TEST_P(EjectorVariant, EjectsBlankMediaAtStartOnArrivalAndAfterFailures)
{
    // At start only the blank disc in a drive with a letter goes out.
    ASSERT_TRUE(WaitFor([](auto& r) { return r["d"].ejected == 1; }));
    Ask("disc e media blank");
    Arrival("E media");
    // Messages reach the worker in order: once E: is out, the start's pass is over too.
    ASSERT_TRUE(WaitFor([](auto& r) { return r["e"].ejected == 1; }));
    ExpectUntouched("f");
    ExpectUntouched("dvd");
    EXPECT_EQ(Discs()["dvd"].media, "blank");

    // D: fails, then E: fails while D:'s retry waits; both are retried until they go out.
    Ask("disc d media blank");
    Ask(std::string("disc d eject-failure ") + kFailure);
    Arrival("D media");
    ASSERT_TRUE(WaitFor([](auto& r) { return r["d"].attempts >= 2; }));
    Ask("disc e media blank");
    Ask(std::string("disc e eject-failure ") + kFailure);
    Arrival("E media");
    ASSERT_TRUE(WaitFor([](auto& r) { return r["d"].attempts >= 4 && r["e"].attempts >= 3; }));
    EXPECT_EQ(Discs()["d"].ejected, 1u);
    Ask("disc d eject-failure none");
    Ask("disc e eject-failure none");
    ASSERT_TRUE(WaitFor([](auto& r) { return r["d"].ejected == 2 && r["e"].ejected == 2; }));
    EXPECT_EQ(Discs()["d"].media, "none");

    // A record whose size covers only its header, and an arrival that is no media, are left
    // alone; the full record that follows is acted on.
    Ask("disc f media blank");
    Arrival("F media short");
    Arrival("F");
    Ask("disc d media blank");
    Arrival("D media");
    ASSERT_TRUE(WaitFor([](auto& r) { return r["d"].ejected == 3; }));
    ExpectUntouched("f");
    EXPECT_EQ(Discs()["f"].media, "blank");
    ExpectUntouched("dvd");
}

INSTANTIATE_TEST_SUITE_P(Generations, EjectorVariant,
                         ::testing::Values(Generation{"SecondGeneration", "10.0", "v2"},
                                           Generation{"FirstGenerationOnly", "5.1", "v1"}),
                         [](const ::testing::TestParamInfo<Generation>& info) { return std::string(info.param.name); });

}  // namespace
