#pragma once
//
//  The service's observer pattern: the pipe server and the event-wait thread are subjects, the
//  service core their observer. Observers are attached before the subject's thread runs and
//  are called on that thread.
//
#include "classlib/WinTypes.h"

#include <vector>

namespace Quelmar {

// A command carried from the pipe thread to the service core, with the core's answer.
struct ServiceCommandRequest {
    LONG code = 0;
    DWORD processId = 0;
    DWORD driveLetter = 0;
    // The exempt result for 4 and 5, the found flag for 6.
    LONG result = 0;
    LONG state = -1;
};

class Subject;

class Observer {
public:
    virtual ~Observer() = default;
    virtual void OnSubjectNotify(Subject* subject) = 0;
    virtual void OnServiceCommand(ServiceCommandRequest& request) = 0;
};

class Subject {
public:
    virtual ~Subject() = default;
    // Appends a non-null observer; TRUE.
    virtual bool Attach(Observer* observer);
    // Removes the first equal pointer; whether there was one.
    virtual bool Detach(Observer* observer);
    // Each observer's OnSubjectNotify, in attach order.
    virtual void Notify();

protected:
    std::vector<Observer*> observers_;
};

class CommandSubject : public Subject {
public:
    virtual bool AttachCommandObserver(Observer* observer) { return Attach(observer); }
    // Each observer's OnServiceCommand, in attach order; an exception from one observer does
    // not keep the next from being called.
    virtual void NotifyCommand(ServiceCommandRequest& request);
};

}  // namespace Quelmar
