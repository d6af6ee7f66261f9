#include "testbed/variant/ProgramFiles.h"

#include "classlib/ScopedHandle.h"
#include "testbed/machine/interpose.h"
#include "testbed/scenario/ScenarioPc.h"

#include <cwchar>
#include <vector>

namespace testbed {
namespace variant {
namespace {

// False with the reason when the file is missing, unreadable or too large.
bool ReadScenarioFile(const std::wstring& path, std::string& text, std::string& error)
{
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.IsValid()) {
        error = "cannot open the scenario " + Narrow(path) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    text.assign(scenario::kMaxScenarioBytes + 1, '\0');
    DWORD total = 0;
    while (total < text.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), &text[total], static_cast<DWORD>(text.size() - total), &read, nullptr)) {
            error = "cannot read the scenario " + Narrow(path) + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (read == 0)
            break;
        total += read;
    }
    text.resize(total);
    return true;
}

}  // namespace

std::wstring ProgramStem()
{
    static auto real = RealFunction<decltype(&::GetModuleFileNameW)>(L"kernel32.dll", "GetModuleFileNameW");
    std::vector<WCHAR> path(MAX_PATH);
    while (true) {
        const DWORD length = real(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            std::wstring stem(path.data(), length);
            const size_t dot = stem.find_last_of(L".\\");
            if (dot != std::wstring::npos && stem[dot] == L'.')
                stem.resize(dot);
            return stem;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Environment(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    value.resize(length < size ? length : 0);
    return value;
}

void AppendFile(const std::wstring& path, const std::string& text, bool truncate)
{
    ScopedHandle file(CreateFileW(path.c_str(), truncate ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return;
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool LoadScenario(const std::wstring& stem, scenario::Scenario& loaded, std::wstring& path, std::string& error)
{
    path = Environment(L"QEVRIN_TESTBED_SCENARIO");
    if (path.empty())
        path = stem + L".scenario";
    std::string text;
    if (!ReadScenarioFile(path, text, error))
        return false;
    scenario::ParseResult parsed = scenario::ParseScenario(text);
    if (!parsed.ok) {
        error = Narrow(path) + ": " + parsed.error;
        return false;
    }
    const std::wstring scale = Environment(L"QEVRIN_TESTBED_TIME_SCALE");
    if (!scale.empty()) {
        const unsigned long value = wcstoul(scale.c_str(), nullptr, 10);
        if (value < 1 || value > 1000) {
            error = "QEVRIN_TESTBED_TIME_SCALE must be 1 to 1000";
            return false;
        }
        parsed.scenario.timeScale = static_cast<unsigned>(value);
    }
    loaded = std::move(parsed.scenario);
    return true;
}

}  // namespace variant
}  // namespace testbed
