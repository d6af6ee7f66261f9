// The decision and the hand-over of its table for a PC of 64 volumes and 32 USB sticks, with
// whitelists of 10, 1,000 and 10,000 entries: ComputeVolumePolicy, the rule-table bytes and
// the driver's own control code storing them on the kernel stand-in - the work of a pass whose
// table changed. Each figure is printed beside the 10-entry figure of the same run
// ("ratio" = this whitelist / 10 entries).
#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include "service/decision/QuelmarDecision.h"
#include "service/driver/VolumeRulesBuffer.h"
#include "service/tests/DecisionValues.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

using namespace servicetest;
using Quelmar::QuelmarDecision;
using Quelmar::VolumePolicyMap;

CString Numbered(const char* stem, int n)
{
    CString text;
    for (const char* p = stem; *p; ++p)
        text += static_cast<WCHAR>(*p);
    for (char digit : std::to_string(n))
        text += static_cast<WCHAR>(digit);
    return text;
}

// 64 volumes: 8 internal, 48 on 32 sticks (16 sticks with two partitions), 8 card readers.
// The whitelist names every fourth stick among entries that match nothing.
void BuildPc(QuelmarDecision& thread, int entries)
{
    Quelmar::SettingV3 setting;
    setting.outsidePolicy = 1;
    setting.blockInternalSd = 1;
    for (int i = 0; i < entries; ++i) {
        const bool names = i % (entries / 8 > 0 ? entries / 8 : 1) == 0 && i / (entries / 8 > 0 ? entries / 8 : 1) < 8;
        const int stick = (i / (entries / 8 > 0 ? entries / 8 : 1)) * 4;
        setting.whitelist.push_back(names ? Entry(0x1000, static_cast<WORD>(stick), Numbered("SN", stick),
                                                  UseVendor | UseProduct | UseSerial, i % 2 == 0 ? 0 : 2)
                                          : Entry(0x2000, static_cast<WORD>(i), Numbered("X", i),
                                                  UseVendor | UseProduct | UseSerial, 0));
    }
    thread.TakeSetting(setting);
    int volume = 1;
    for (int i = 0; i < 8; ++i)
        thread.VolumeList().push_back(InternalVolume(Numbered("\\Device\\HarddiskVolume", volume++), i == 0 ? 'C' : 0));
    for (int s = 0; s < 32; ++s) {
        thread.UsbDeviceList().push_back(Stick(0x1000, static_cast<WORD>(s), Numbered("SN", s)));
        for (int p = 0; p < (s < 16 ? 2 : 1); ++p) {
            thread.VolumeList().push_back(StickVolume(Numbered("\\Device\\HarddiskVolume", volume++), 0,
                                                      Numbered("SN", s), {_T("\\Device\\00000071")}));
        }
    }
    for (int i = 0; i < 8; ++i) {
        CString name = Numbered("\\Device\\HarddiskVolume", volume++);
        thread.VolumeList().push_back(InternalVolume(name, 'M' + i));
        thread.CardReaderVolumes().insert(name);
    }
    thread.SystemVolumeList().push_back(thread.VolumeList()[0]);
}

// One changed pass: decide and hand the table to the driver.
void DecideAndSend(QuelmarDecision& thread)
{
    VolumePolicyMap map;
    thread.ComputeVolumePolicy(map);
    std::vector<BYTE> table = Quelmar::BuildVolumeRulesBuffer(thread.NonWhitelistPolicy(), map);
    IO_STATUS_BLOCK status;
    ControlDeviceIoctl(table.data(), static_cast<ULONG>(table.size()), 0, IOCTL_FILTER_SET_VOLUME_RULES, &status);
    benchmark::DoNotOptimize(status.Status);
}

double MicrosPerPass(QuelmarDecision& thread, int passes)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i)
        DecideAndSend(thread);
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / passes;
}

void BM_DecideAndSend(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    standin::ResetKernel();
    NTSTATUS loaded;
    standin::LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &loaded);
    {
        QuelmarDecision reference;
        BuildPc(reference, 10);
        QuelmarDecision thread;
        BuildPc(thread, entries);
        const double referenceMicros = MicrosPerPass(reference, 200);
        for (auto _ : state)
            DecideAndSend(thread);
        const double measured = MicrosPerPass(thread, 200);
        VolumePolicyMap map;
        thread.ComputeVolumePolicy(map);
        state.counters["table_entries"] = static_cast<double>(map.size());
        state.counters["us_per_pass"] = measured;
        state.counters["ten_entries_us"] = referenceMicros;
        state.counters["ratio"] = measured / referenceMicros;
    }
    ClearVolumeRules();
    ClearPendingVolumes();
    standin::ShutdownKernel();
}

// The decision alone, without the hand-over, to tell the two costs apart.
void BM_Decide(benchmark::State& state)
{
    QuelmarDecision thread;
    BuildPc(thread, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        VolumePolicyMap map;
        thread.ComputeVolumePolicy(map);
        benchmark::DoNotOptimize(map);
    }
}

BENCHMARK(BM_Decide)->ArgName("whitelist")->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecideAndSend)->ArgName("whitelist")->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
