#pragma once
//
//  What the simulated PC's shell and desktop were told: BroadcastSystemMessageW calls with
//  their device-change record, and SHChangeNotify calls with their paths. Both are recorded
//  instead of delivered, because nothing on the test's desktop would hear them.
//
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace testbed {

struct BroadcastRecord {
    DWORD flags;
    bool hasRecipients;
    DWORD recipients;
    UINT message;
    WPARAM wParam;
    std::vector<BYTE> record;   // the DEV_BROADCAST_* block of a WM_DEVICECHANGE, by its size
};

struct ShellNotification {
    LONG eventId;
    UINT flags;
    std::wstring path1;          // for SHCNF_PATHW
    std::wstring path2;
};

class ShellRecorder {
public:
    void Record(BroadcastRecord record)
    {
        std::lock_guard<std::mutex> hold(lock_);
        broadcasts_.push_back(std::move(record));
    }
    void Record(ShellNotification notification)
    {
        std::lock_guard<std::mutex> hold(lock_);
        notifications_.push_back(std::move(notification));
    }
    std::vector<BroadcastRecord> Broadcasts() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return broadcasts_;
    }
    std::vector<ShellNotification> Notifications() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return notifications_;
    }

private:
    mutable std::mutex lock_;
    std::vector<BroadcastRecord> broadcasts_;
    std::vector<ShellNotification> notifications_;
};

}  // namespace testbed
