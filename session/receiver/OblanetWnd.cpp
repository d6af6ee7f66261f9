#include "session/receiver/OblanetWnd.h"

#include "classlib/CSyncObject.h"
#include "core/pipe/ServiceCommandClient.h"

namespace {

const DWORD kConnectMilliseconds = 50;

}  // namespace

void ForwardDeviceChange()
{
    // The reply wait is bounded: the system, and any program that sent the message, wait on
    // this window procedure until it returns.
    Quelmar::ServiceCommandClient client(Quelmar::PipeReplyLimitSessionProgram);
    if (client.ConnectWait(kConnectMilliseconds))
        client.NotifyDeviceChange();
}

std::unique_ptr<COblanetWnd> COblanetWnd::CreateHidden()
{
    LPCWSTR className = nullptr;
    try {
        className = AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW);
    } catch (const CResourceException&) {
        return nullptr;
    }
    if (!className || !*className)
        return nullptr;
    std::unique_ptr<COblanetWnd> window(new COblanetWnd);
    const RECT place = {-300, -300, -300 + 10, -300 + 10};
    // A top-level window, the desktop its parent; WS_CAPTION without WS_VISIBLE keeps it hidden.
    if (!window->CreateEx(0, className, L"", WS_CAPTION, place, nullptr, 0, nullptr))
        return nullptr;
    return window;
}

LRESULT COblanetWnd::OnDeviceChange(UINT, DWORD_PTR)
{
    ForwardDeviceChange();
    return Default();
}

void COblanetWnd::PostNcDestroy()
{
    PostQuitMessage(0);
}
