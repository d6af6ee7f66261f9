#include "session/receiver/SessionSingleInstance.h"

const wchar_t kReceiverInstanceMutexName[] = L"{C38DFBF7-31F0-443F-8743-A832995F086E}";

namespace {

const DWORD kLockMilliseconds = 10;

}  // namespace

SessionSingleInstance::SessionSingleInstance(const wchar_t* name)
{
    try {
        mutex_.reset(new CMutex(TRUE, name));
        lock_.reset(new CSingleLock(mutex_.get(), FALSE));
    } catch (const CResourceException&) {
        // No mutex: Acquire refuses, and the program ends.
        lock_.reset();
        mutex_.reset();
    }
}

BOOL SessionSingleInstance::Acquire()
{
    if (!lock_)
        return FALSE;
    if (lock_->IsLocked())
        return TRUE;
    return lock_->Lock(kLockMilliseconds);
}

void SessionSingleInstance::Release()
{
    if (lock_)
        lock_->Unlock();
}
