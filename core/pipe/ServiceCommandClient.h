#pragma once
//
//  The client that issues the service's commands: one request and one reply per call, on an
//  already connected pipe. Each call answers 1 for success and 0 for any failure. Windows
//  builds only.
//
#include "core/pipe/PipeCommandClient.h"
#include "core/pipe/ServiceProtocol.h"

namespace Quelmar {

class ServiceCommandClient : public PipeCommandClient {
public:
    // The reply limit bounds each read and write; the session programs pass their short one.
    explicit ServiceCommandClient(DWORD replyLimit = PipeReplyLimitTool, LPCWSTR pipeName = QUELMAR_SERVICE_PIPE_NAME);

    int GetVersion(DWORD (&version)[4]);
    int RequestReloadSettings();
    int NotifyDeviceChange();
    int AddExemptProcess(DWORD processId);
    int RemoveExemptProcess(DWORD processId);
    int GetDriveState(WCHAR driveLetter, LONG& state);

    // Reads one reply; its payload when the status is 0, else failure.
    BOOL ReadReply(std::vector<BYTE>& payload);

private:
    BOOL Send(const std::vector<BYTE>& request);
    int ExchangeExpecting(const std::vector<BYTE>& request, size_t payloadLength, std::vector<BYTE>& payload);
};

// TRUE when the four values are the interface version this side speaks.
bool IsServiceInterfaceVersion(const DWORD (&version)[4]);

}  // namespace Quelmar
