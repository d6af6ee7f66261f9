#include "service/pipe/Subject.h"

#include <algorithm>

namespace Quelmar {

bool Subject::Attach(Observer* observer)
{
    if (observer != nullptr) {
        observers_.push_back(observer);
    }
    return true;
}

bool Subject::Detach(Observer* observer)
{
    std::vector<Observer*>::iterator found = std::find(observers_.begin(), observers_.end(), observer);
    if (found == observers_.end()) {
        return false;
    }
    observers_.erase(found);
    return true;
}

void Subject::Notify()
{
    for (Observer* observer : observers_) {
        observer->OnSubjectNotify(this);
    }
}

void CommandSubject::NotifyCommand(ServiceCommandRequest& request)
{
    for (Observer* observer : observers_) {
        try {
            observer->OnServiceCommand(request);
        } catch (...) {
            // One observer's failure is not the next one's.
        }
    }
}

}  // namespace Quelmar
