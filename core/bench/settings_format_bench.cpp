//
//  The setting payload with a 10,000-entry whitelist written and read back as version 3, in
//  entries/s and bytes/s, beside a plain copy of the same number of bytes measured in the same
//  run. The ratio printed at the end says how many copies of the payload one write plus read
//  costs.
//
#include "core/format/SettingSerializerV3.h"
#include "core/bench/TimeReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace Quelmar;

namespace {

const int kEntries = 10000;

CString Numbered(const WCHAR* prefix, int n)
{
    CString text(prefix);
    for (int digits = 0; digits < 8; ++digits, n /= 10) {
        text += static_cast<WCHAR>('0' + n % 10);
    }
    return text;
}

// Entries as the tool stores them: ids, a 20-character serial, typical descriptor strings.
const SettingV3& LargeSetting()
{
    static const SettingV3 setting = [] {
        SettingV3 s;
        s.usbControlEnabled = 1;
        s.outsidePolicy = 1;
        s.blockPortableDevices = 1;
        s.blockCdWriting = 1;
        s.autoImport.importPath = _T("C:\\ProgramData\\TALVEK\\QEVRIN\\QEVRINInstallSetting.dat");
        s.blockInternalSd = 0;
        for (int i = 0; i < kEntries; ++i) {
            WhitelistEntry e;
            e.vendorId = static_cast<WORD>(0x0781 + i % 7);
            e.productId = static_cast<WORD>(i);
            e.serialNumber = Numbered(_T("4C530001230918"), i);
            e.manufacturer = _T("Generic Storage Corp.");
            e.product = _T("USB Flash Disk 3.0");
            e.useVendorId = 1;
            e.useProductId = 1;
            e.useSerialNumber = 1;
            e.attribute = i % 3 == 0 ? 2 : 0;
            s.whitelist.push_back(e);
        }
        return s;
    }();
    return setting;
}

const std::vector<BYTE>& LargePayload()
{
    static const std::vector<BYTE> payload = [] {
        std::vector<BYTE> out;
        SettingSerializerV3().Write(LargeSetting(), out);
        return out;
    }();
    return payload;
}

void SetRates(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kEntries);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LargePayload().size()));
}

void BM_SettingsV3Write(benchmark::State& state)
{
    const SettingV3& setting = LargeSetting();
    std::vector<BYTE> out;
    for (auto _ : state) {
        SettingSerializerV3().Write(setting, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetRates(state);
}

void BM_SettingsV3Read(benchmark::State& state)
{
    const std::vector<BYTE>& payload = LargePayload();
    for (auto _ : state) {
        SettingV3 setting;
        if (!SettingSerializerV3().Read(payload, setting)) {
            state.SkipWithError("payload rejected");
            break;
        }
        benchmark::DoNotOptimize(setting.whitelist.data());
    }
    SetRates(state);
}

void BM_SettingsV3WriteRead(benchmark::State& state)
{
    const SettingV3& setting = LargeSetting();
    std::vector<BYTE> out;
    for (auto _ : state) {
        SettingSerializerV3().Write(setting, out);
        SettingV3 read;
        if (!SettingSerializerV3().Read(out, read)) {
            state.SkipWithError("payload rejected");
            break;
        }
        benchmark::DoNotOptimize(read.whitelist.data());
    }
    SetRates(state);
}

// The reference: copying the payload's bytes once.
void BM_MemcpyReference(benchmark::State& state)
{
    const std::vector<BYTE>& payload = LargePayload();
    std::vector<BYTE> copy(payload.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), payload.data(), payload.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    SetRates(state);
}

BENCHMARK(BM_SettingsV3Write)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsV3Read)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsV3WriteRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyReference)->Unit(benchmark::kMicrosecond);


}  // namespace

int main(int argc, char** argv)
{
    TimeReporter reporter;
    if (!RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    std::printf("\npayload: %d entries, %zu bytes\n", kEntries, LargePayload().size());
    PrintAgainstReference(reporter, "BM_MemcpyReference",
                          {"BM_SettingsV3Write", "BM_SettingsV3Read", "BM_SettingsV3WriteRead"}, "us",
                          "memcpy of the same bytes");
    return 0;
}
