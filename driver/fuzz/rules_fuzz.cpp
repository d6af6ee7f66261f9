// Arbitrary buffers as the rule table of the control code: the check must refuse every
// malformed one, and a table that passes must be stored and freed without a stray byte.
#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/Kernel.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  standin::ResetKernel();
  NTSTATUS status;
  standin::LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &status);
  if (!NT_SUCCESS(status)) abort();
  // The driver never unloads; the kernel's own objects go at exit.
  atexit([] { standin::ShutdownKernel(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 20) return 0;
  // The first byte may ask for an allocation failure part-way through storing the table.
  if (size > 0 && (data[0] & 0x80) != 0) standin::FailPoolAllocations(1, 0, data[0] & 0x0F);
  std::vector<UCHAR> buffer(data, data + size);
  IO_STATUS_BLOCK status = {};
  ControlDeviceIoctl(size ? buffer.data() : nullptr, static_cast<ULONG>(size), 0, IOCTL_FILTER_SET_VOLUME_RULES,
                     &status);
  standin::FailPoolAllocations(0);
  if (status.Status != STATUS_SUCCESS && status.Status != STATUS_INVALID_PARAMETER &&
      status.Status != STATUS_INSUFFICIENT_RESOURCES)
    abort();
  // Each input starts from an empty table, and a table that is refused or cannot be stored
  // leaves the one before it.
  if (status.Status != STATUS_SUCCESS && !IsListEmpty(&gVolumeRuleList)) abort();
  ClearVolumeRules();
  ClearPendingVolumes();
  if (standin::LivePoolBlocks(TAG_VOLUME_RULE) != 0 || standin::LivePoolBlocks(TAG_RULE_NAME) != 0 ||
      standin::LivePoolBlocks(TAG_MATCH_NAME) != 0)
    abort();
  return 0;
}
