#include "testbed/machine/DeviceTree.h"

#include <algorithm>
#include <cwctype>

namespace testbed {

DeviceNode& DeviceNode::SetProperty(ULONG property, std::wstring value)
{
    properties_[property] = std::move(value);
    return *this;
}

DeviceNode& DeviceNode::RemoveProperty(ULONG property)
{
    properties_.erase(property);
    return *this;
}

const std::wstring* DeviceNode::FindProperty(ULONG property) const
{
    auto found = properties_.find(property);
    return found == properties_.end() ? nullptr : &found->second;
}

DeviceNode& DeviceNode::AddRemovalRelation(DeviceNode& dependent)
{
    removalRelations_.push_back(&dependent);
    return *this;
}

std::wstring Upper(std::wstring text)
{
    for (auto& ch : text)
        ch = static_cast<wchar_t>(std::towupper(ch));
    return text;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && Upper(a) == Upper(b);
}

}  // namespace testbed
