// A fresh kernel per test with the filter loaded, helpers for rule tables and the control
// device, and the checks every test ends with: no broken kernel rule, no leak.
#pragma once

#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include <gtest/gtest.h>

#include <vector>

namespace drivertest {

using standin::KString;

struct Rule {
  KString Name;
  LONG State;
};

// A FILTER_VOLUME_RULES buffer, little-endian and packed.
std::vector<UCHAR> RuleTable(LONG mode, const std::vector<Rule> &rules);
void PutUlong(std::vector<UCHAR> &bytes, ULONG value);

extern const KString kVolumeEvent;

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual standin::KernelConfig Config() { return standin::KernelConfig(); }

  NTSTATUS LoadFilter();
  NTSTATUS Ioctl(ULONG code, const std::vector<UCHAR> &input, std::vector<UCHAR> *output = nullptr,
                   ULONG outputLength = 0, ULONG_PTR *information = nullptr);
  NTSTATUS SetRules(LONG mode, const std::vector<Rule> &rules);
  NTSTATUS Exempt(ULONG code, ULONG pid);

  // The filter device on top of the mounted volume's stack, or none.
  static PDEVICE_OBJECT VolumeFilter(standin::StorageVolume &volume);
  static PDEVICE_OBJECT FileSystemFilter(PDEVICE_OBJECT fileSystem);
  static PFILTER_DEVICE_EXTENSION ExtensionOf(PDEVICE_OBJECT device) {
    return static_cast<PFILTER_DEVICE_EXTENSION>(device->DeviceExtension);
  }

  PDRIVER_OBJECT driver_ = nullptr;
  std::vector<ULONG> exempted_;
};

}  // namespace drivertest
