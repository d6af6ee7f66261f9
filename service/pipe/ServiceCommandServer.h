#pragma once
//
//  The service's side of the command protocol: checks each request's shape, answers the
//  version itself and hands the other commands to its command observers (the service core).
//  Exempting a process (4 and 5) is a way around the driver, so it is granted only to a
//  caller that asks for its own process and runs as SYSTEM or an administrator. Windows
//  builds only.
//
#include "core/pipe/ServiceProtocol.h"
#include "service/pipe/PipeCommandServer.h"
#include "service/pipe/Subject.h"

namespace Quelmar {

class ServiceCommandServer : public PipeCommandServer, public CommandSubject {
public:
    explicit ServiceCommandServer(LPCWSTR pipeName = QUELMAR_SERVICE_PIPE_NAME);

    void OnRequest(const std::vector<BYTE>& request) override { Dispatch(request); }
    void Dispatch(const std::vector<BYTE>& request);

private:
    void OnGetVersion();
    void OnReloadSettings();
    void OnDeviceChanged();
    void OnAddExemptProcess(DWORD processId);
    void OnRemoveExemptProcess(DWORD processId);
    void OnQueryDriveState(WCHAR driveLetter);
    void OnExemptCommand(LONG code, DWORD processId);

    // The connected client runs as the process it names, under SYSTEM or an administrator.
    bool ClientMayExempt(DWORD processId);
    bool ClientIsPrivileged();
    void WriteWords(std::initializer_list<LONG> words);
};

}  // namespace Quelmar
