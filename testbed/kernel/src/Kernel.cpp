// Reset and shutdown of the whole stand-in between tests.
#include "testbed/kernel/src/KernelState.h"

namespace standin {

void ClearViolations();

namespace {
std::vector<std::string> shutdownLeaks;
}

void ResetKernel(const KernelConfig &config) {
  ResetWorkItems();
  ResetIo();
  ResetNamespace();
  ResetPool();
  ResetClock();
  ResetRemoveLockWaits();
  ResetProcesses();
  ResetCaller();
  ClearViolations();
  shutdownLeaks.clear();
  ResetSystemInfo(config);
  SetIrql(PASSIVE_LEVEL);
  SetCurrentProcessId(1000);
  for (const char *directory : {"\\Device", "\\Driver", "\\FileSystem", "\\FileSystem\\Filters", "\\GLOBAL??",
                                "\\BaseNamedObjects"}) {
    std::string path(directory);
    if (!config.FiltersDirectory && path == "\\FileSystem\\Filters") continue;
    CreateDirectoryObject(KString(path.begin(), path.end()));
  }
  CreateSymbolicLinkObject(KTEXT("\\DosDevices"), KTEXT("\\GLOBAL??"));
  CreateSymbolicLinkObject(KTEXT("\\??"), KTEXT("\\GLOBAL??"));
}

void ShutdownKernel() {
  DrainWorkItems();
  ReportObjectLeaks(shutdownLeaks);
  ReportPoolLeaks(shutdownLeaks);
  ShutdownIo();
  ResetNamespace();
  ResetPool();
}

std::vector<std::string> Leaks() { return shutdownLeaks; }

}  // namespace standin
