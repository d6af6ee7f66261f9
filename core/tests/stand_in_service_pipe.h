#pragma once
//
//  The service's end of the product's pipe, for the tests of the programs that ask the
//  service: clients one after the other, each request handed to the test's handler, which fills
//  the reply or returns false to drop the client unanswered.
//
#include "core/pipe/ServiceProtocol.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class StandInServicePipe {
public:
    using Handler = std::function<bool(const BYTE* request, DWORD size, std::vector<BYTE>& reply)>;

    explicit StandInServicePipe(Handler handler) : handler_(std::move(handler))
    {
        pipe_ = CreateNamedPipeW(QUELMAR_SERVICE_PIPE_NAME, PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1024, 1024, 0, nullptr);
        thread_ = std::thread([this] {
            Serve();
            ended_ = true;
        });
    }
    // The handler must not be waiting for anything the test releases after this.
    ~StandInServicePipe()
    {
        stop_ = true;
        // Between two clients the pipe refuses a connect until it listens again: knock until the
        // server has seen the stop.
        while (!ended_) {
            HANDLE unblock = CreateFileW(QUELMAR_SERVICE_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
            if (unblock != INVALID_HANDLE_VALUE)
                CloseHandle(unblock);
            Sleep(10);
        }
        thread_.join();
        CloseHandle(pipe_);
    }
    StandInServicePipe(const StandInServicePipe&) = delete;
    StandInServicePipe& operator=(const StandInServicePipe&) = delete;

    static void AppendWord(std::vector<BYTE>& bytes, DWORD word)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(BYTE(word >> shift));
    }

private:
    void Serve()
    {
        while (!stop_) {
            if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
                return;
            BYTE request[64];
            DWORD read = 0;
            while (!stop_ && ReadFile(pipe_, request, sizeof request, &read, nullptr) && read >= 4) {
                std::vector<BYTE> reply;
                if (!handler_(request, read, reply))
                    break;
                DWORD written = 0;
                WriteFile(pipe_, reply.data(), DWORD(reply.size()), &written, nullptr);
            }
            DisconnectNamedPipe(pipe_);
        }
    }

    Handler handler_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
};
