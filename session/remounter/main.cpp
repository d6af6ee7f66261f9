#include "session/remounter/TessarinApp.h"

namespace {

CTessarinApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, previousInstance, commandLine, showCommand);
}
