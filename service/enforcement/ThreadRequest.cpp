#include "service/enforcement/ThreadRequest.h"

#include <new>

namespace Quelmar {

ThreadRequest* ThreadRequest::Create()
{
    ThreadRequest* request = new (std::nothrow) ThreadRequest();
    if (request == nullptr) {
        return nullptr;
    }
    request->event_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!request->event_.IsValid()) {
        delete request;
        return nullptr;
    }
    return request;
}

void ThreadRequest::Release()
{
    if (--references_ == 0) {
        delete this;
    }
}

BOOL ThreadRequest::Post(DWORD threadId, UINT message)
{
    AddRef();
    if (!PostThreadMessageW(threadId, message, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(Event()))) {
        Release();
        return FALSE;
    }
    return TRUE;
}

BOOL ThreadRequest::WaitForAnswer(DWORD limitMilliseconds) const
{
    return WaitForSingleObject(Event(), limitMilliseconds) == WAIT_OBJECT_0;
}

}  // namespace Quelmar
