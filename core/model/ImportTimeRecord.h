#pragma once
#include "core/model/SettingTimeStamp.h"

namespace Quelmar {

// When the last applied install-setting file was exported, and when an automatic import last
// applied one.
class ImportTimeRecord {
public:
    ImportTimeRecord() = default;
    ImportTimeRecord(const ImportTimeRecord&) = default;
    ImportTimeRecord& operator=(const ImportTimeRecord&) = default;
    virtual ~ImportTimeRecord() = default;

    SettingTimeStamp exportTime;
    SettingTimeStamp importTime;
};

}  // namespace Quelmar
