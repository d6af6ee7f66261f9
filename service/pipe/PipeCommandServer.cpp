#include "service/pipe/PipeCommandServer.h"

#include "classlib/ScopedLocalMemory.h"

#include <aclapi.h>

namespace {

const DWORD kFullAccess = 0x1F01FF;
// Everything but WRITE_DAC and WRITE_OWNER.
const DWORD kInteractiveAccess = 0x1301FF;
const DWORD kDefaultTimeout = 60000;

struct WellKnownSid {
    BYTE bytes[SECURITY_MAX_SID_SIZE];
    bool Make(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof(bytes);
        return CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
    }
};

void SetSidAccess(EXPLICIT_ACCESSW& access, PSID sid, DWORD rights, DWORD inheritance)
{
    access.grfAccessPermissions = rights;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = inheritance;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
}

}  // namespace

PipeCommandServer::PipeCommandServer(LPCWSTR pipeName, DWORD pieceSize)
    : PipeCommandBase(pipeName, pieceSize), stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    // Without it nothing could end a wait for a client but termination.
    if (!stopEvent_.IsValid()) {
        throw CResourceException(GetLastError());
    }
}

void PipeCommandServer::RequestStop()
{
    stopFlag_ = 1;
    SetEvent(stopEvent_.Get());
}

int PipeCommandServer::Wait(HANDLE* event)
{
    HANDLE waits[] = {*event, stopEvent_.Get()};
    return WaitForMultipleObjects(2, waits, FALSE, waitLimit_) == WAIT_OBJECT_0 ? 1 : 0;
}

BOOL PipeCommandServer::Create()
{
    // By SID rather than by account name, so the list is the same on every language of Windows.
    WellKnownSid creatorOwner, system, administrators, interactive;
    if (!creatorOwner.Make(WinCreatorOwnerSid) || !system.Make(WinLocalSystemSid) ||
        !administrators.Make(WinBuiltinAdministratorsSid) || !interactive.Make(WinInteractiveSid)) {
        return FALSE;
    }
    EXPLICIT_ACCESSW access[4] = {};
    SetSidAccess(access[0], creatorOwner.bytes, kFullAccess, SUB_CONTAINERS_AND_OBJECTS_INHERIT | INHERIT_NO_PROPAGATE | INHERIT_ONLY);
    SetSidAccess(access[1], system.bytes, kFullAccess, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    SetSidAccess(access[2], administrators.bytes, kFullAccess, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    SetSidAccess(access[3], interactive.bytes, kInteractiveAccess, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    ScopedLocalMemory<ACL> acl;
    const DWORD aclError = SetEntriesInAclW(4, access, nullptr, acl.Receive());
    if (aclError != ERROR_SUCCESS) {
        SetLastError(aclError);
        return FALSE;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl.Get(), FALSE)) {
        return FALSE;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    pipe_ = CreateNamedPipeW(pipeName_, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, pieceSize_, pieceSize_,
                             kDefaultTimeout, &attributes);
    return pipe_ != INVALID_HANDLE_VALUE;
}

BOOL PipeCommandServer::Connect()
{
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event.IsValid()) {
        return FALSE;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    if (ConnectNamedPipe(pipe_, &overlapped)) {
        return TRUE;
    }
    switch (GetLastError()) {
    case ERROR_PIPE_CONNECTED:
        return TRUE;
    case ERROR_IO_PENDING: {
        // Waiting for the next client has no limit; the limit is for a connected client.
        const DWORD clientLimit = waitLimit_;
        waitLimit_ = INFINITE;
        DWORD unused = 0;
        const BOOL connected = FinishPending(overlapped, unused);
        waitLimit_ = clientLimit;
        return connected;
    }
    default:
        return FALSE;
    }
}

int PipeCommandServer::Serve()
{
    // A name taken by someone else, or a passing shortage, is retried until the stop.
    while (!Create()) {
        if (WaitForSingleObject(stopEvent_.Get(), CreateRetryDelay) != WAIT_TIMEOUT) {
            return -1;
        }
    }
    while (!IsStopping()) {
        if (Connect()) {
            std::vector<BYTE> request;
            while (!IsStopping() && Read(request)) {
                OnRequest(request);
            }
        } else if (!IsStopping()) {
            // A client that left before it was served; never a busy loop.
            WaitForSingleObject(stopEvent_.Get(), 10);
        }
        DisconnectNamedPipe(pipe_);
    }
    Close();
    return 0;
}
