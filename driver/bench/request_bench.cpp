// Cost of one request through the stand-in's I/O path with the filter in it, against the same
// request with filtering switched off: an allowed, a blocked and a read-only volume that the
// table has decided, for tables of 1 and 1,000 volumes. The reference is measured interleaved
// with the case, batch by batch in alternating order, so that drift of the machine falls on
// both alike; "ratio" is the median of the per-round ratios.
#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace standin;

namespace {

enum Case { Allowed, Blocked, ReadOnly };

const int kBatch = 20000;

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

// Stores the table and lets one request decide the volume: what is timed afterwards is the
// request on a decided volume, not the one walk of the table that each new table costs.
void Store(const std::vector<UCHAR> &table, FileHandle &file) {
  IO_STATUS_BLOCK status;
  ControlDeviceIoctl(const_cast<UCHAR *>(table.data()), static_cast<ULONG>(table.size()), 0,
                     IOCTL_FILTER_SET_VOLUME_RULES, &status);
  if (status.Status != STATUS_SUCCESS) abort();
  UCHAR byte;
  ULONG read;
  ReadFile(file, 0, &byte, 1, &read);
}

// A read passes on allowed and read-only volumes and is refused on blocked ones.
double NanosPerRead(FileHandle &file) {
  UCHAR byte;
  ULONG read;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kBatch; ++i) ReadFile(file, 0, &byte, 1, &read);
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kBatch;
}

void BM_Request(benchmark::State &state) {
  Case which = static_cast<Case>(state.range(0));
  int volumes = static_cast<int>(state.range(1));
  LONG volumeState = which == Blocked ? VOLUME_ACCESS_BLOCK : which == ReadOnly ? VOLUME_ACCESS_READ_ONLY
                                                                                 : VOLUME_ACCESS_ALLOW;
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

    const std::vector<UCHAR> off = Table(0, volumes, volumeState);
    const std::vector<UCHAR> on = Table(1, volumes, volumeState);
    std::vector<double> ratios;
    double reference = 0, measured = 0;
    bool referenceFirst = true;
    for (auto _ : state) {
      double offNanos, onNanos;
      if (referenceFirst) {
        Store(off, file);
        offNanos = NanosPerRead(file);
        Store(on, file);
        onNanos = NanosPerRead(file);
      } else {
        Store(on, file);
        onNanos = NanosPerRead(file);
        Store(off, file);
        offNanos = NanosPerRead(file);
      }
      referenceFirst = !referenceFirst;
      reference += offNanos;
      measured += onNanos;
      ratios.push_back(onNanos / offNanos);
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["filter_off_ns"] = reference / static_cast<double>(ratios.size());
    state.counters["filter_on_ns"] = measured / static_cast<double>(ratios.size());
    state.counters["ratio"] = ratios[ratios.size() / 2];
    file.Close();
    ClearVolumeRules();
    ClearPendingVolumes();
  }
  ShutdownKernel();
}

BENCHMARK(BM_Request)
    ->ArgNames({"case", "volumes"})
    ->ArgsProduct({{Allowed, Blocked, ReadOnly}, {1, 1000}})
    ->Iterations(61)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
