#include "testbed/machine/Volumes.h"

namespace testbed {

std::wstring Volume::DosName() const
{
    // "\\?\Volume{...}\" without the prefix and the final backslash.
    return guidPath.substr(4, guidPath.size() - 5);
}

}  // namespace testbed
