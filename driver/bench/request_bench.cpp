// Cost of one request through the stand-in's I/O path with the filter in it: filtering off,
// an allowed, a blocked and a read-only volume, for tables of 1 and 1,000 volumes and exempt
// lists of 0 and 100 ids. Each figure is printed beside the filter-off figure of the same run
// ("ratio" = this case / filter off).
#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

using namespace standin;

namespace {

enum Case { FilterOff, Allowed, Blocked, ReadOnly };

std::vector<UCHAR> Table(LONG mode, int volumes, LONG state) {
  std::vector<UCHAR> bytes;
  auto put = [&bytes](ULONG value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<UCHAR>(value >> (8 * i)));
  };
  put(static_cast<ULONG>(mode));
  put(static_cast<ULONG>(volumes));
  for (int i = 0; i < volumes; ++i) {
    // Names as a machine has them, all of one length; the volume under test is the last entry,
    // so the walk crosses the whole table.
    std::string name = "\\Device\\HarddiskVolume" + std::to_string(i == volumes - 1 ? 9999 : 1000 + i);
    put(static_cast<ULONG>(name.size() * 2));
    for (char c : name) {
      bytes.push_back(static_cast<UCHAR>(c));
      bytes.push_back(0);
    }
    put(static_cast<ULONG>(i == volumes - 1 ? state : VOLUME_ACCESS_ALLOW));
  }
  return bytes;
}

void Configure(Case which, int volumes, int exempt) {
  LONG state = which == Blocked ? VOLUME_ACCESS_BLOCK : which == ReadOnly ? VOLUME_ACCESS_READ_ONLY : VOLUME_ACCESS_ALLOW;
  std::vector<UCHAR> table = Table(which == FilterOff ? 0 : 1, volumes, state);
  IO_STATUS_BLOCK status;
  ControlDeviceIoctl(table.data(), static_cast<ULONG>(table.size()), 0, IOCTL_FILTER_SET_VOLUME_RULES, &status);
  for (int i = 0; i < exempt; ++i) AddExemptProcess(static_cast<ULONG>(50000 + i));
}

double NanosPerWrite(FileHandle &file, int iterations) {
  UCHAR byte = 1;
  ULONG written;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) WriteFile(file, 0, &byte, 1, &written);
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / iterations;
}

void BM_WriteRequest(benchmark::State &state) {
  Case which = static_cast<Case>(state.range(0));
  int volumes = static_cast<int>(state.range(1));
  int exempt = static_cast<int>(state.range(2));
  ResetKernel();
  NTSTATUS status;
  LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &status);
  {
    MemoryFileSystem fs(KTEXT("Fat"));
    fs.Register();
    StorageVolume volume(KTEXT("\\Device\\HarddiskVolume9999"));
    volume.Files[KTEXT("f")] = {0};
    FileHandle file;
    CreateFile(volume, KTEXT("f"), FILE_OPEN, 0, file);

    Configure(FilterOff, volumes, exempt);
    double reference = NanosPerWrite(file, 20000);
    Configure(which, volumes, 0);
    UCHAR byte = 1;
    ULONG written;
    for (auto _ : state) benchmark::DoNotOptimize(WriteFile(file, 0, &byte, 1, &written));
    double measured = NanosPerWrite(file, 20000);
    state.counters["filter_off_ns"] = reference;
    state.counters["ratio"] = measured / reference;
    file.Close();
    for (int i = 0; i < exempt; ++i) {
      RemoveExemptProcess(static_cast<ULONG>(50000 + i));
    }
    ClearVolumeRules();
    ClearPendingVolumes();
  }
  ShutdownKernel();
}

BENCHMARK(BM_WriteRequest)
    ->ArgNames({"case", "volumes", "exempt"})
    ->ArgsProduct({{FilterOff, Allowed, Blocked, ReadOnly}, {1, 1000}, {0, 100}});

}  // namespace

BENCHMARK_MAIN();
