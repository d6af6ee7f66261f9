// QEVRINs: the service's program entry.
#include "service/entry/ServiceEntry.h"

int wmain()
{
    return Quelmar::RunServiceDispatcher();
}
