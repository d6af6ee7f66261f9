// qevrin_demo --variant PROGRAM --tool PROGRAM --scenario FILE --screenshot FILE.bmp: paths as
// Windows or as Linux paths of Wine's Z: drive. Exit 0 when every step behaved as the whitelist requires, 1 when one did not, 2 for
// bad arguments.
#include "testbed/demo/Demonstration.h"
#include "testbed/variant/drive/ScmSession.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring AsWindowsPath(const wchar_t* argument)
{
    std::wstring path(argument);
    if (!path.empty() && path[0] == L'/') {
        std::string narrow;
        for (wchar_t c : path)
            narrow += static_cast<char>(c);
        return scmtest::WindowsPath(narrow);
    }
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    demo::DemoPaths paths;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--variant") == 0)
            paths.variant = AsWindowsPath(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--tool") == 0)
            paths.tool = AsWindowsPath(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--scenario") == 0)
            paths.scenario = AsWindowsPath(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--screenshot") == 0)
            paths.screenshot = AsWindowsPath(argv[i + 1]);
        else
            paths.variant.clear();
    }
    if (argc % 2 == 0 || paths.variant.empty() || paths.tool.empty() || paths.scenario.empty() ||
        paths.screenshot.empty()) {
        std::fprintf(stderr, "usage: qevrin_demo --variant PROGRAM --tool PROGRAM --scenario FILE --screenshot FILE.bmp\n");
        return 2;
    }
    return demo::RunDemonstration(paths) ? 0 : 1;
}
