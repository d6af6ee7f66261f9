//
//  Timing harness under Wine: save and load of the real Setting.dat with a 10,000-entry
//  whitelist through the setting store, beside a plain write and read of a file of the same
//  size in the same folder, in the same run. Prints milliseconds per operation and the ratio
//  (store / plain file). Not a test: scripts run it by hand through cmake/wine-run.
//
#include "core/bench/WallClock.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/store/WholeFile.h"

#include <windows.h>

#include <cstdio>
#include <vector>

using namespace Quelmar;

namespace {

const int kEntries = 10000;
const int kRounds = 20;

SettingV3 LargeSetting()
{
    SettingV3 setting;
    SettingStore::SetDefaultSettings(setting);
    for (int i = 0; i < kEntries; ++i) {
        WhitelistEntry entry;
        entry.vendorId = static_cast<WORD>(0x0781 + i % 7);
        entry.productId = static_cast<WORD>(i);
        entry.serialNumber = L"4C530001230517114233";
        entry.manufacturer = L"SanDisk";
        entry.product = L"Cruzer Blade";
        entry.useVendorId = 1;
        entry.useProductId = 1;
        entry.useSerialNumber = 1;
        entry.attribute = i % 2 == 0 ? 0 : 2;
        setting.whitelist.push_back(entry);
    }
    return setting;
}

}  // namespace

int main()
{
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    const SettingV3 setting = LargeSetting();
    if (SettingStore::SavePasswordData(PasswordData()) != 1 || SettingStore::SaveSettingFile(keys, setting) != 1) {
        std::printf("could not prepare the setting\n");
        return 1;
    }
    std::vector<BYTE> image;
    ReadWholeFile(GetSettingFilePath(), image);
    const CString plainPath = GetProductFolder() + L"\\timing.bin";

    double start = NowMs();
    for (int i = 0; i < kRounds; ++i) {
        SettingStore::SaveSettingFile(keys, setting);
    }
    const double storeSave = (NowMs() - start) / kRounds;

    start = NowMs();
    for (int i = 0; i < kRounds; ++i) {
        SettingV3 loaded;
        PasswordData passwordData;
        SettingStore::Load(loaded, passwordData, keys);
        if (loaded.whitelist.size() != static_cast<size_t>(kEntries)) {
            std::printf("load gave %u entries\n", static_cast<unsigned>(loaded.whitelist.size()));
            return 1;
        }
    }
    const double storeLoad = (NowMs() - start) / kRounds;

    start = NowMs();
    for (int i = 0; i < kRounds; ++i) {
        WriteWholeFile(plainPath, image);
    }
    const double plainSave = (NowMs() - start) / kRounds;

    start = NowMs();
    for (int i = 0; i < kRounds; ++i) {
        std::vector<BYTE> bytes;
        ReadWholeFile(plainPath, bytes);
    }
    const double plainLoad = (NowMs() - start) / kRounds;
    DeleteFileW(plainPath);

    std::printf("Setting.dat with %d whitelist entries, %u bytes (ms per operation)\n", kEntries,
                static_cast<unsigned>(image.size()));
    std::printf("  save  store %8.3f   plain file %8.3f   ratio %.2f\n", storeSave, plainSave, storeSave / plainSave);
    std::printf("  load  store %8.3f   plain file %8.3f   ratio %.2f\n", storeLoad, plainLoad, storeLoad / plainLoad);
    return 0;
}
