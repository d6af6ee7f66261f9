#include "core/pipe/ServiceCommandClient.h"

#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"

namespace Quelmar {

namespace {

std::vector<BYTE> Request(ServiceCommandCode code)
{
    DataSerializer request;
    request.WriteU32(static_cast<DWORD>(code));
    return request.Bytes();
}

std::vector<BYTE> Request(ServiceCommandCode code, DWORD argument)
{
    DataSerializer request;
    request.WriteU32(static_cast<DWORD>(code));
    request.WriteU32(argument);
    return request.Bytes();
}

}  // namespace

ServiceCommandClient::ServiceCommandClient(DWORD replyLimit, LPCWSTR pipeName)
    : PipeCommandClient(pipeName, PipePieceSize)
{
    SetWaitLimit(replyLimit);
}

BOOL ServiceCommandClient::Send(const std::vector<BYTE>& request)
{
    return Write(request.data(), static_cast<DWORD>(request.size()));
}

BOOL ServiceCommandClient::ReadReply(std::vector<BYTE>& payload)
{
    std::vector<BYTE> reply;
    if (!Read(reply) || reply.size() < 4) {
        return FALSE;
    }
    DataParser parser(reply);
    DWORD status = 0;
    if (parser.ReadU32(status) != 0 || status != REPLY_DONE) {
        return FALSE;
    }
    payload.assign(reply.begin() + 4, reply.end());
    return TRUE;
}

int ServiceCommandClient::ExchangeExpecting(const std::vector<BYTE>& request, size_t payloadLength,
                                            std::vector<BYTE>& payload)
{
    if (!Send(request) || !ReadReply(payload)) {
        return 0;
    }
    return payload.size() == payloadLength ? 1 : 0;
}

int ServiceCommandClient::GetVersion(DWORD (&version)[4])
{
    std::vector<BYTE> payload;
    if (!ExchangeExpecting(Request(CMD_GET_VERSION), 16, payload)) {
        return 0;
    }
    DataParser parser(payload);
    for (DWORD& value : version) {
        parser.ReadU32(value);
    }
    return 1;
}

int ServiceCommandClient::RequestReloadSettings()
{
    std::vector<BYTE> payload;
    return ExchangeExpecting(Request(CMD_RELOAD_SETTINGS), 0, payload);
}

int ServiceCommandClient::NotifyDeviceChange()
{
    std::vector<BYTE> payload;
    return ExchangeExpecting(Request(CMD_DEVICE_CHANGED), 0, payload);
}

int ServiceCommandClient::AddExemptProcess(DWORD processId)
{
    std::vector<BYTE> payload;
    if (!ExchangeExpecting(Request(CMD_ADD_EXEMPT_PROCESS, processId), 4, payload)) {
        return 0;
    }
    DWORD result = 0;
    DataParser(payload).ReadU32(result);
    return result == 1 ? 1 : 0;
}

int ServiceCommandClient::RemoveExemptProcess(DWORD processId)
{
    std::vector<BYTE> payload;
    if (!ExchangeExpecting(Request(CMD_REMOVE_EXEMPT_PROCESS, processId), 4, payload)) {
        return 0;
    }
    DWORD result = 0;
    DataParser(payload).ReadU32(result);
    return result == 1 ? 1 : 0;
}

int ServiceCommandClient::GetDriveState(WCHAR driveLetter, LONG& state)
{
    DataSerializer request;
    request.WriteU32(CMD_QUERY_DRIVE_STATE);
    request.WriteU16(static_cast<WORD>(driveLetter));
    std::vector<BYTE> payload;
    if (!ExchangeExpecting(request.Bytes(), 8, payload)) {
        return 0;
    }
    DataParser parser(payload);
    DWORD found = 0;
    int value = -1;
    parser.ReadU32(found);
    parser.ReadU32(value);
    if (found != 1) {
        return 0;
    }
    state = value;
    return 1;
}

bool IsServiceInterfaceVersion(const DWORD (&version)[4])
{
    for (size_t i = 0; i < 4; ++i) {
        if (version[i] != SERVICE_INTERFACE_VERSION[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace Quelmar
