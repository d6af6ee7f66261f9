//
//  Save and load of Setting.dat with a 10,000-entry whitelist, in memory: the settings format
//  and the record file's wrap (MD5 and AES-128-CBC) or unwrap. Beside them, in the same run,
//  OpenSSL's MD5 and AES-128-CBC over an image of the same size: the cost of the cryptography
//  alone, which the format's own work comes on top of. The summary gives each figure and the
//  ratio (store / crypto alone).
//
#include "core/model/Setting.h"
#include "core/format/SettingSerializerV3.h"
#include "core/store/StoreConstants.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace Quelmar;

namespace {

const BYTE kKey[16] = {0xA9, 0xC3, 0x71, 0x5E, 0x6F, 0xB4, 0x08, 0x2D};
const int kEntries = 10000;

SettingV3 LargeSetting()
{
    SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = 1;
    setting.blockPortableDevices = 1;
    setting.blockCdWriting = 1;
    setting.blockInternalSd = 0;
    for (int i = 0; i < kEntries; ++i) {
        WhitelistEntry entry;
        entry.vendorId = static_cast<WORD>(0x0781 + i % 7);
        entry.productId = static_cast<WORD>(i);
        entry.serialNumber = _T("4C530001230517114233");
        entry.manufacturer = _T("SanDisk");
        entry.product = _T("Cruzer Blade");
        entry.useVendorId = 1;
        entry.useProductId = 1;
        entry.useSerialNumber = 1;
        entry.attribute = i % 2 == 0 ? 0 : 2;
        setting.whitelist.push_back(entry);
    }
    return setting;
}

std::vector<BYTE> SavedImage(const SettingV3& setting)
{
    SettingSerializerV3 file(_T("Setting.dat"), kKey, 16);
    file.formatTag = 0x10020000;
    std::vector<BYTE> image;
    file.SettingSerializerV3::Write(setting, image);
    file.Wrap(image);
    return image;
}

void StoreSave(benchmark::State& state)
{
    const SettingV3 setting = LargeSetting();
    SettingSerializerV3 file(_T("Setting.dat"), kKey, 16);
    file.formatTag = 0x10020000;
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<BYTE> image;
        file.SettingSerializerV3::Write(setting, image);
        file.Wrap(image);
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["image_bytes"] = static_cast<double>(bytes);
}

void StoreLoad(benchmark::State& state)
{
    const std::vector<BYTE> image = SavedImage(LargeSetting());
    SettingSerializerV3 file(_T("Setting.dat"), kKey, 16);
    for (auto _ : state) {
        std::vector<BYTE> payload = image;
        SettingV3 setting;
        if (file.Unwrap(payload) != 1 || file.SettingSerializerV3::Read(payload, setting) != 1) {
            state.SkipWithError("image did not load");
            return;
        }
        benchmark::DoNotOptimize(setting.whitelist.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void CryptoAlone(benchmark::State& state, bool encrypt)
{
    const std::vector<BYTE> image = SavedImage(LargeSetting());
    std::vector<BYTE> out(image.size() + 16);
    const BYTE iv[16] = {};
    for (auto _ : state) {
        unsigned char md5[16];
        unsigned int md5Length = 0;
        EVP_Digest(image.data(), image.size(), md5, &md5Length, EVP_md5(), nullptr);
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int length = 0;
        if (encrypt) {
            EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, iv);
            EVP_CIPHER_CTX_set_padding(ctx, 0);
            EVP_EncryptUpdate(ctx, out.data(), &length, image.data(), static_cast<int>(image.size()));
        } else {
            EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, iv);
            EVP_CIPHER_CTX_set_padding(ctx, 0);
            EVP_DecryptUpdate(ctx, out.data(), &length, image.data(), static_cast<int>(image.size()));
        }
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void CryptoAloneSave(benchmark::State& state)
{
    CryptoAlone(state, true);
}

void CryptoAloneLoad(benchmark::State& state)
{
    CryptoAlone(state, false);
}

BENCHMARK(StoreSave)->Unit(benchmark::kMillisecond);
BENCHMARK(CryptoAloneSave)->Unit(benchmark::kMillisecond);
BENCHMARK(StoreLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(CryptoAloneLoad)->Unit(benchmark::kMillisecond);

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nSetting.dat with %d whitelist entries (ms per operation)\n", kEntries);
        Line("save", "StoreSave", "CryptoAloneSave");
        Line("load", "StoreLoad", "CryptoAloneLoad");
    }

private:
    void Line(const char* what, const char* store, const char* crypto)
    {
        const double s = times_[store];
        const double c = times_[crypto];
        std::printf("  %-5s store %8.3f   crypto alone (OpenSSL) %8.3f   ratio %.2f\n", what, s, c, c > 0 ? s / c : 0.0);
    }
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
