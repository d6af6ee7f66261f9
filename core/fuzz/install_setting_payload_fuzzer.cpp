//
//  The install-setting file's readers over arbitrary payloads.
//
#include "core/store/InstallSettingFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Quelmar::CInstallSettingFilePlusV2 file(_T("QEVRINInstallSetting.dat"));
    const std::vector<BYTE> payload(data, data + size);
    for (int version = 1; version <= 3; ++version) {
        Quelmar::InstallSettingData record;
        try {
            if (version == 1) {
                file.ReadV1(payload, record);
            } else if (version == 2) {
                file.ReadV2(payload, record);
            } else {
                file.ReadV3(payload, record);
            }
        } catch (Quelmar::CInstallSettingFilePlusV1::_throws) {
        } catch (Quelmar::CInstallSettingFilePlusV2::_throws) {
        }
    }
    return 0;
}
