#include "service/enforcement/QuelmarThread.h"

#include "core/usb/UsbDeviceEnumerator.h"
#include "core/volume/VolumeMap.h"
#include "service/core/ServiceCore.h"
#include "service/driver/DriverControl.h"
#include "service/driver/DriverInterface.h"
#include "service/enforcement/ThreadMessages.h"
#include "service/enforcement/ThreadRequest.h"
#include "service/remount/DriveRemount.h"
#include "service/volumes/StorageQuery.h"
#include "service/volumes/VolumeOnDevice.h"
#include "service/volumes/VolumeRecordList.h"

#include <cwctype>

namespace Quelmar {

namespace {

const UINT_PTR kRecheckTimerId = 1000;
const DWORD kStopLimit = 30000;

// Creates the thread suspended and lets it go; the driver handle must be open. A thread that
// follows an ended one takes over what that one left before it runs.
QuelmarThread* BeginQuelmarThread(QuelmarThread* ended)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(QuelmarThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (started == nullptr) {
        return nullptr;
    }
    QuelmarThread* thread = static_cast<QuelmarThread*>(started);
    if (ended != nullptr) {
        thread->TakeOverSentTable(*ended);
    }
    thread->ResumeThread();
    return thread;
}

bool SameVolumeList(const std::vector<VolumeRecord>& a, const std::vector<VolumeRecord>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (!VolumeRecordEquals(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

IMPLEMENT_DYNCREATE(QuelmarThread, CWinThread)

QuelmarThread::QuelmarThread()
{
    // The service core waits on the thread's handle after its end and deletes it then.
    m_bAutoDelete = FALSE;
}

ThreadMessageMap QuelmarThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_RECHECK_TIMER, &QuelmarThread::OnRecheckTimer),
        OnThreadMessage(WM_APP_EVALUATE, &QuelmarThread::OnEvaluate),
        OnThreadMessage(WM_APP_DEVICE_EVENT, &QuelmarThread::OnDeviceEvent),
        OnThreadMessage(WM_APP_SETTINGS_CHANGED, &QuelmarThread::OnSettingsChanged),
        OnThreadMessage(WM_APP_ADD_EXEMPT_PROCESS, &QuelmarThread::OnAddExemptProcess),
        OnThreadMessage(WM_APP_REMOVE_EXEMPT_PROCESS, &QuelmarThread::OnRemoveExemptProcess),
        OnThreadMessage(WM_APP_QUERY_DRIVE_STATE, &QuelmarThread::OnQueryDriveState),
        OnThreadMessage(WM_APP_SET_EXIT_CODE, &QuelmarThread::OnSetExitCode),
    };
    return MakeThreadMessageMap(entries);
}

BOOL QuelmarThread::InitInstance()
{
    // An exception that leaves InitInstance or Run ends the thread in the class library without
    // ExitInstance, and the queue dies with the thread.
    try {
        try {
            BuildSystemVolumeList(SystemVolumeList());
            systemVolumesMissing_ = false;
        } catch (const std::bad_alloc&) {
            // The first pass tries again; no pass decides without them.
        }
        OnSettingsChanged(0, 0);
    } catch (...) {
        StopTakingRequests();
        throw;
    }
    return TRUE;
}

int QuelmarThread::Run()
{
    try {
        return CWinThread::Run();
    } catch (...) {
        StopTakingRequests();
        throw;
    }
}

int QuelmarThread::ExitInstance()
{
    if (timerId_ != 0) {
        KillTimer(nullptr, timerId_);
        timerId_ = 0;
    }
    if (releaseFlag_ == 1) {
        ReleaseDriverTable();
    }
    DriverControl::GetInstance()->Close();
    StopTakingRequests();
    return CWinThread::ExitInstance();
}

void QuelmarThread::ReleaseDriverTable()
{
    DriverControl::GetInstance()->SetPolicy(0, VolumePolicyMap());
    RemountAfterStop(SentMap(), VolumeList());
}

void QuelmarThread::RemountAfterStop(const VolumePolicyMap& released, const std::vector<VolumeRecord>& volumes)
{
    Quelmar::RemountAfterStop(released, volumes);
}

BOOL QuelmarThread::PostRequest(ThreadRequest& request, UINT message)
{
    // The thread closes under the same lock before it drains its queue: a request is either
    // refused here or already queued when the drain looks.
    std::lock_guard<std::mutex> hold(requestsLock_);
    return takingRequests_ && request.Post(m_nThreadID, message);
}

void QuelmarThread::StopTakingRequests()
{
    {
        std::lock_guard<std::mutex> hold(requestsLock_);
        takingRequests_ = false;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_APP_ADD_EXEMPT_PROCESS, WM_APP_QUERY_DRIVE_STATE, PM_REMOVE)) {
        ThreadRequest* request = reinterpret_cast<ThreadRequest*>(msg.wParam);
        if (request != nullptr) {
            request->Complete();
            request->Release();
        }
    }
}

void CALLBACK QuelmarThread::RecheckTimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    ::PostThreadMessageW(GetCurrentThreadId(), WM_APP_RECHECK_TIMER, timerId, 0);
}

void QuelmarThread::OnRecheckTimer(WPARAM timerId, LPARAM)
{
    if (timerId_ != 0 && timerId == timerId_) {
        PostThreadMessage(WM_APP_EVALUATE, 1, 0);
    }
}

void QuelmarThread::TakeCurrentSetting()
{
    ServiceCore* core = ServiceCore::GetInstance();
    if (core != nullptr) {
        TakeSetting(core->GetSettings());
    }
    settingOutdated_ = false;
}

void QuelmarThread::OnSettingsChanged(WPARAM, LPARAM)
{
    try {
        TakeCurrentSetting();
    } catch (const std::bad_alloc&) {
        // The last setting, if any, stays in force until a pass can take the new one.
        settingOutdated_ = true;
    }
    PostThreadMessage(WM_APP_EVALUATE, 1, 0);
}

void QuelmarThread::OnDeviceEvent(WPARAM, LPARAM)
{
    if (pendingChanges_++ == 0) {
        PostThreadMessage(WM_APP_EVALUATE, 1, 0);
    }
}

void QuelmarThread::Enumerate()
{
    // Volumes that the driver blocks must still open for the enumeration; the exemption ends
    // on every way out, also when memory runs out halfway.
    struct SelfExemption {
        DriverControl* driver = DriverControl::GetInstance();
        const DWORD self = GetCurrentProcessId();
        SelfExemption() { driver->AddExemptProcess(self); }
        ~SelfExemption() { driver->RemoveExemptProcess(self); }
    } exemption;

    std::vector<VolumeRecord> volumes;
    // A machine without a single volume is a failed enumeration: the last list stays.
    if (VolumeMap(volumes, VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_DRIVE_LETTERS | VOLUME_MAP_DEVICE_IDS |
                               VOLUME_MAP_CHILD_DEVICE_NAMES | VOLUME_MAP_DEVNODES)
            .Build() &&
        !SameVolumeList(volumes, VolumeList())) {
        VolumeList() = std::move(volumes);
        ++pendingChanges_;
    }

    std::vector<UsbStorageDevice> found;
    UsbDeviceEnumerator enumerator(found);
    enumerator.SetInfoMask(EnumerationMask());
    enumerator.Walk();
    std::vector<UsbStorageDevice> holding;
    FilterDevicesWithVolumes(VolumeList(), found, holding);
    if (!(holding == UsbDeviceList())) {
        UsbDeviceList() = std::move(holding);
    }

    ScanDrives();
}

void QuelmarThread::OnEvaluate(WPARAM, LPARAM)
{
    if (timerId_ != 0) {
        KillTimer(nullptr, timerId_);
        timerId_ = 0;
    }
    try {
        // What could not be taken before is taken first; until then no table is sent, and the
        // driver keeps the one it has.
        if (systemVolumesMissing_) {
            BuildSystemVolumeList(SystemVolumeList());
            systemVolumesMissing_ = false;
        }
        if (settingOutdated_) {
            TakeCurrentSetting();
        }
        Enumerate();
        VolumePolicyMap map;
        ComputeVolumePolicy(map);
        SendPolicy(map);
    } catch (const std::bad_alloc&) {
        // The lists stay as they were; the next pass tries again.
    }
    if (timerId_ == 0) {
        timerId_ = SetTimer(nullptr, kRecheckTimerId, RecheckPeriod, &QuelmarThread::RecheckTimerProc);
    }
    const LONG changes = pendingChanges_;
    pendingChanges_ = 0;
    if (changes > 1) {
        PostThreadMessage(WM_APP_DEVICE_EVENT, 1, 0);
    }
}

void QuelmarThread::OnAddExemptProcess(WPARAM block, LPARAM)
{
    ThreadRequest* request = reinterpret_cast<ThreadRequest*>(block);
    if (request == nullptr) {
        return;
    }
    request->result = DriverControl::GetInstance()->AddExemptProcess(request->processId) ? 1 : 0;
    request->Complete();
    request->Release();
}

void QuelmarThread::OnRemoveExemptProcess(WPARAM block, LPARAM)
{
    ThreadRequest* request = reinterpret_cast<ThreadRequest*>(block);
    if (request == nullptr) {
        return;
    }
    request->result = DriverControl::GetInstance()->RemoveExemptProcess(request->processId) ? 1 : 0;
    request->Complete();
    request->Release();
}

void QuelmarThread::OnQueryDriveState(WPARAM block, LPARAM)
{
    ThreadRequest* request = reinterpret_cast<ThreadRequest*>(block);
    if (request == nullptr) {
        return;
    }
    try {
        const wint_t wanted = towlower(static_cast<wint_t>(request->driveLetter));
        for (const VolumeRecord& record : VolumeList()) {
            if (towlower(static_cast<wint_t>(record.driveLetter)) != wanted) {
                continue;
            }
            if (!record.deviceName.IsEmpty()) {
                VolumePolicyMap map;
                ComputeVolumePolicy(map);
                VolumePolicyMap::const_iterator entry = map.find(record.deviceName);
                if (entry != map.end()) {
                    request->found = 1;
                    request->state = entry->second;
                }
            }
            break;
        }
    } catch (const std::bad_alloc&) {
        // Answered as not found.
    }
    request->Complete();
    request->Release();
}

void QuelmarThread::OnSetExitCode(WPARAM releaseFlag, LPARAM)
{
    releaseFlag_ = static_cast<LONG>(releaseFlag);
}

LONG QuelmarThread::RequestAddExemptProcess(DWORD processId)
{
    ThreadRequest* request = ThreadRequest::Create();
    if (request == nullptr) {
        return 0;
    }
    request->processId = processId;
    const LONG result =
        PostRequest(*request, WM_APP_ADD_EXEMPT_PROCESS) && request->WaitForAnswer(RequestLimit) ? request->result : 0;
    request->Release();
    return result;
}

LONG QuelmarThread::RequestRemoveExemptProcess(DWORD processId)
{
    ThreadRequest* request = ThreadRequest::Create();
    if (request == nullptr) {
        return 0;
    }
    request->processId = processId;
    const LONG result =
        PostRequest(*request, WM_APP_REMOVE_EXEMPT_PROCESS) && request->WaitForAnswer(RequestLimit) ? request->result : 0;
    request->Release();
    return result;
}

LONG QuelmarThread::RequestQueryDriveState(WCHAR driveLetter, LONG& state)
{
    ThreadRequest* request = ThreadRequest::Create();
    if (request == nullptr) {
        return 0;
    }
    request->driveLetter = driveLetter;
    LONG found = 0;
    if (PostRequest(*request, WM_APP_QUERY_DRIVE_STATE) && request->WaitForAnswer(RequestLimit) &&
        request->found == 1) {
        found = 1;
        state = request->state;
    }
    request->Release();
    return found;
}

QuelmarThread* StartQuelmarThread()
{
    DriverControl* driver = DriverControl::GetInstance();
    if (!driver->Open(DriverOpenLimitEnforcement)) {
        return nullptr;
    }
    QuelmarThread* started = BeginQuelmarThread(nullptr);
    if (started == nullptr) {
        const DWORD error = GetLastError();
        DriverControl::DeleteInstance();
        SetLastError(error);
    }
    return started;
}

void StopQuelmarThread(QuelmarThread* thread, LONG releaseFlag)
{
    if (thread == nullptr) {
        return;
    }
    thread->PostThreadMessage(WM_APP_SET_EXIT_CODE, static_cast<WPARAM>(releaseFlag), 0);
    thread->PostThreadMessage(WM_QUIT, 0, 0);
    // Termination is the last resort, for a pass that hangs in the system.
    const bool ended = WaitForThreadOrTerminate(*thread, kStopLimit);
    DriverControl* driver = DriverControl::GetInstance();
    if (driver->IsOpen()) {
        // The thread never reached its exit: the driver must not keep enforcing a table that
        // nobody keeps current. A thread that ended by itself still holds its last table and
        // volumes, so Explorer can be told as at any release; a terminated one is in no known
        // state.
        if (ended) {
            thread->ReleaseDriverTable();
        } else {
            driver->SetPolicy(0, VolumePolicyMap());
        }
        DriverControl::DeleteInstance();
    }
    if (ended) {
        delete thread;
    }
}

QuelmarThread* ReplaceEndedQuelmarThread(QuelmarThread* ended)
{
    // Open already unless the ended thread got as far as closing it.
    if (!DriverControl::GetInstance()->Open(DriverOpenLimitEnforcement)) {
        return nullptr;
    }
    // The driver still holds the ended thread's table. Compared against an empty one, a volume
    // that the new setting frees would count as new and allowed, and Explorer would never see
    // it come back.
    QuelmarThread* successor = BeginQuelmarThread(ended);
    if (successor != nullptr) {
        delete ended;
    }
    return successor;
}

}  // namespace Quelmar
