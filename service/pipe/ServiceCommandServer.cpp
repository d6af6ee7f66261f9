#include "service/pipe/ServiceCommandServer.h"

#include "classlib/ScopedHandle.h"
#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"

namespace Quelmar {

ServiceCommandServer::ServiceCommandServer(LPCWSTR pipeName) : PipeCommandServer(pipeName, PipePieceSize)
{
    SetWaitLimit(PipeClientIdleLimit);
}

void ServiceCommandServer::WriteWords(std::initializer_list<LONG> words)
{
    DataSerializer reply;
    for (LONG word : words) {
        reply.WriteU32(static_cast<DWORD>(word));
    }
    // A reply that does not get through shows in the next read, which then ends the client.
    Write(reply.Bytes().data(), static_cast<DWORD>(reply.Bytes().size()));
}

void ServiceCommandServer::Dispatch(const std::vector<BYTE>& request)
{
    if (request.size() < 4) {
        WriteWords({REPLY_BAD_REQUEST});
        return;
    }
    DataParser parser(request);
    int code = 0;
    parser.ReadU32(code);
    const DWORD payload = parser.Left();
    DWORD expected = 0;
    switch (code) {
    case CMD_GET_VERSION:
    case CMD_RELOAD_SETTINGS:
    case CMD_DEVICE_CHANGED:
        expected = 0;
        break;
    case CMD_ADD_EXEMPT_PROCESS:
    case CMD_REMOVE_EXEMPT_PROCESS:
        expected = 4;
        break;
    case CMD_QUERY_DRIVE_STATE:
        expected = 2;
        break;
    default:
        WriteWords({REPLY_UNKNOWN_COMMAND});
        return;
    }
    if (payload != expected) {
        WriteWords({REPLY_BAD_REQUEST});
        return;
    }
    switch (code) {
    case CMD_GET_VERSION:
        OnGetVersion();
        break;
    case CMD_RELOAD_SETTINGS:
        OnReloadSettings();
        break;
    case CMD_DEVICE_CHANGED:
        OnDeviceChanged();
        break;
    case CMD_ADD_EXEMPT_PROCESS:
    case CMD_REMOVE_EXEMPT_PROCESS: {
        DWORD processId = 0;
        parser.ReadU32(processId);
        if (code == CMD_ADD_EXEMPT_PROCESS) {
            OnAddExemptProcess(processId);
        } else {
            OnRemoveExemptProcess(processId);
        }
        break;
    }
    default: {
        WORD letter = 0;
        parser.ReadU16(letter);
        OnQueryDriveState(static_cast<WCHAR>(letter));
        break;
    }
    }
}

void ServiceCommandServer::OnGetVersion()
{
    WriteWords({REPLY_DONE, static_cast<LONG>(SERVICE_INTERFACE_VERSION[0]),
                static_cast<LONG>(SERVICE_INTERFACE_VERSION[1]), static_cast<LONG>(SERVICE_INTERFACE_VERSION[2]),
                static_cast<LONG>(SERVICE_INTERFACE_VERSION[3])});
}

void ServiceCommandServer::OnReloadSettings()
{
    ServiceCommandRequest request;
    request.code = CMD_RELOAD_SETTINGS;
    NotifyCommand(request);
    WriteWords({REPLY_DONE});
}

void ServiceCommandServer::OnDeviceChanged()
{
    ServiceCommandRequest request;
    request.code = CMD_DEVICE_CHANGED;
    NotifyCommand(request);
    WriteWords({REPLY_DONE});
}

void ServiceCommandServer::OnExemptCommand(LONG code, DWORD processId)
{
    ServiceCommandRequest request;
    request.code = code;
    request.processId = processId;
    if (ClientMayExempt(processId)) {
        NotifyCommand(request);
    }
    WriteWords({REPLY_DONE, request.result});
}

void ServiceCommandServer::OnAddExemptProcess(DWORD processId)
{
    OnExemptCommand(CMD_ADD_EXEMPT_PROCESS, processId);
}

void ServiceCommandServer::OnRemoveExemptProcess(DWORD processId)
{
    OnExemptCommand(CMD_REMOVE_EXEMPT_PROCESS, processId);
}

void ServiceCommandServer::OnQueryDriveState(WCHAR driveLetter)
{
    ServiceCommandRequest request;
    request.code = CMD_QUERY_DRIVE_STATE;
    request.driveLetter = driveLetter;
    NotifyCommand(request);
    WriteWords({REPLY_DONE, request.result, request.state});
}

bool ServiceCommandServer::ClientMayExempt(DWORD processId)
{
    ULONG clientProcessId = 0;
    if (!GetNamedPipeClientProcessId(pipe_, &clientProcessId) || clientProcessId != processId) {
        return false;
    }
    return ClientIsPrivileged();
}

bool ServiceCommandServer::ClientIsPrivileged()
{
    if (!ImpersonateNamedPipeClient(pipe_)) {
        return false;
    }
    ScopedHandle token;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive());
    if (!RevertToSelf()) {
        // Going on as the client would run the service's work with the client's rights.
        TerminateProcess(GetCurrentProcess(), ERROR_ACCESS_DENIED);
    }
    if (!opened) {
        return false;
    }
    for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        BOOL member = FALSE;
        if (CreateWellKnownSid(type, nullptr, sid, &size) && CheckTokenMembership(token.Get(), sid, &member) &&
            member) {
            return true;
        }
    }
    return false;
}

}  // namespace Quelmar
