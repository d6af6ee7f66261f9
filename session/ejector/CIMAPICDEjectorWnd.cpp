#include "session/ejector/CIMAPICDEjectorWnd.h"

#include "classlib/CException.h"
#include "classlib/CWinApp.h"
#include "session/ejector/CIMAPIEjectorThread.h"

#include <dbt.h>

#include <new>

namespace {

// The window being created on this thread, and whether it was deleted while it was. Creation
// can fail after the window has received its first messages (no display driver in the
// session, a hook that refuses it): the system destroys the window then, and PostNcDestroy
// deletes the object before CreateEx returns.
thread_local CIMAPICDEjectorWnd* t_creating = nullptr;
thread_local bool t_deletedWhileCreating = false;

}  // namespace

CIMAPICDEjectorWnd* CIMAPICDEjectorWnd::CreateHidden()
{
    auto* window = new (std::nothrow) CIMAPICDEjectorWnd();
    if (window == nullptr) {
        return nullptr;
    }
    LPCWSTR className = nullptr;
    try {
        className = AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW);
    } catch (const CResourceException&) {
        delete window;
        return nullptr;
    }
    const RECT rect = {-1, -1, 1, 1};
    t_creating = window;
    t_deletedWhileCreating = false;
    const BOOL created = window->CreateEx(0, className, L"", 0, rect, nullptr, 0, nullptr);
    t_creating = nullptr;
    if (!created) {
        if (!t_deletedWhileCreating) {
            delete window;
        }
        return nullptr;
    }
    if (window->thread_ == nullptr) {
        window->thread_ = StartEjectorThread();
    }
    return window;
}

CIMAPICDEjectorWnd::~CIMAPICDEjectorWnd()
{
    StopEjectorThread(thread_);
    thread_ = nullptr;
}

LRESULT CIMAPICDEjectorWnd::OnDeviceChange(UINT eventType, DWORD_PTR data)
{
    // Any program may send this message with a record of its choosing: the unit mask is read
    // only from a record that says it is long enough to hold one.
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header != nullptr && eventType == DBT_DEVICEARRIVAL && header->dbch_devicetype == DBT_DEVTYP_VOLUME &&
        header->dbch_size >= sizeof(DEV_BROADCAST_VOLUME) && thread_ != nullptr) {
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data);
        if ((volume->dbcv_flags & DBTF_MEDIA) != 0) {
            ::PostThreadMessageW(thread_->m_nThreadID, CIMAPIEjectorThread::WM_APP_EJECT, volume->dbcv_unitmask, 0);
        }
    }
    return CWnd::OnDeviceChange(eventType, data);
}

void CIMAPICDEjectorWnd::PostNcDestroy()
{
    // The main window's end is the program's end.
    if (AfxGetMainWnd() == this) {
        AfxSetMainWnd(nullptr);
        PostQuitMessage(0);
    }
    if (t_creating == this) {
        t_deletedWhileCreating = true;
    }
    delete this;
}
