#include "service/discs/CWatchIMAPICDEjectorThread.h"

#include "classlib/CFileFind.h"
#include "classlib/ScopedHandle.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "service/session/SessionLauncher.h"
#include "service/session/UserTokens.h"

#include <vector>

IMPLEMENT_DYNCREATE(CWatchIMAPICDEjectorThread, CWinThread)

namespace {

const DWORD kStopWait = 10000;

}  // namespace

BOOL CWatchIMAPICDEjectorThread::InitInstance()
{
    timer_ = SetTimer(nullptr, kTimerId, kCheckPeriod, &CWatchIMAPICDEjectorThread::OnTimer);
    EnsureEjectorRunning();
    return TRUE;
}

int CWatchIMAPICDEjectorThread::ExitInstance()
{
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
        timer_ = 0;
    }
    return CWinThread::ExitInstance();
}

ThreadMessageMap CWatchIMAPICDEjectorThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_WATCH_TICK, &CWatchIMAPICDEjectorThread::OnTimerTick),
    };
    return MakeThreadMessageMap(entries);
}

void CWatchIMAPICDEjectorThread::OnTimerTick(WPARAM, LPARAM)
{
    // The period counts from the end of each check, however long the check took.
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
        timer_ = 0;
    }
    EnsureEjectorRunning();
    timer_ = SetTimer(nullptr, kTimerId, kCheckPeriod, &CWatchIMAPICDEjectorThread::OnTimer);
}

void CALLBACK CWatchIMAPICDEjectorThread::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostThreadMessageW(GetCurrentThreadId(), WM_APP_WATCH_TICK, 0, 0);
}

void CWatchIMAPICDEjectorThread::EnsureEjectorRunning()
{
    std::vector<DWORD> ids;
    {
        ProcessEnumeratorProxy processes;
        processes.EnumProcessIds(ids);
    }
    Quelmar::UserProcessMap explorers;
    if (!Quelmar::GetProcessUsers(ids, L"explorer.exe", FALSE, explorers)) {
        return;
    }
    // Only an ejector as the service starts it counts: one below high integrity runs at the
    // user's own level, where the user can suspend it or start it suspended. Windows 5.x has no
    // integrity levels, and there every one counts.
    Quelmar::UserProcessMap ejectors;
    Quelmar::GetProcessUsers(ids, ejectorPath_, TRUE, ejectors, Quelmar::kHighIntegrityRid);
    for (const auto& explorer : explorers) {
        if (ejectors.find(explorer.first) == ejectors.end()) {
            StartEjectorAs(explorer.second);
        }
    }
}

void CWatchIMAPICDEjectorThread::StartEjectorAs(DWORD explorerProcessId)
{
    ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, explorerProcessId));
    if (!process.IsValid()) {
        return;
    }
    ScopedHandle token;
    if (!OpenProcessToken(process.Get(), MAXIMUM_ALLOWED, token.Receive())) {
        return;
    }
    ScopedHandle primary;
    if (!DuplicateTokenEx(token.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                          primary.Receive())) {
        return;
    }
    // An ejector below high would not count at the next check, and another would start then;
    // so would one started with a token whose level cannot be read.
    if (!Quelmar::SetHighIntegrityLevel(primary.Get())) {
        return;
    }
    Quelmar::StartProcessAsUser(ejectorPath_, primary.Get());
}

CString EjectorPathBesideService()
{
    const CString folder = Quelmar::GetServiceModuleFolder();
    return folder.IsEmpty() ? CString() : Quelmar::ProgramInFolder(folder, L"QEVRINcde.exe");
}

CWatchIMAPICDEjectorThread* StartEjectorWatchThread()
{
    // Looked for before any thread exists: without the program there is nothing to watch.
    const CString path = EjectorPathBesideService();
    if (path.IsEmpty()) {
        return nullptr;
    }
    {
        CFileFind find;
        if (!find.FindFile(path)) {
            return nullptr;
        }
    }
    auto* thread = static_cast<CWatchIMAPICDEjectorThread*>(
        AfxBeginThread(RUNTIME_CLASS(CWatchIMAPICDEjectorThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
    if (thread == nullptr) {
        return nullptr;
    }
    // The owner waits on the thread's handle at stop, so the object must outlive the thread.
    thread->m_bAutoDelete = FALSE;
    thread->SetEjectorPath(path);
    thread->ResumeThread();
    return thread;
}

void StopEjectorWatchThread(CWatchIMAPICDEjectorThread* thread)
{
    if (thread == nullptr) {
        return;
    }
    thread->PostThreadMessage(WM_QUIT, 0, 0);
    if (WaitForThreadOrTerminate(*thread, kStopWait)) {
        delete thread;
    }
}
