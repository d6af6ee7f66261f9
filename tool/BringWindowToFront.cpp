#include "tool/BringWindowToFront.h"

void BringWindowToFront(HWND window)
{
    if (!IsWindow(window)) {
        return;
    }
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD saved = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(saved)), 0);
    AttachThreadInput(windowThread, foregroundThread, FALSE);
}
