#include "driver/tests/DriverFixture.h"

namespace drivertest {

const KString kVolumeEvent = KTEXT("{7A2816EC-3DB5-428B-8D25-BD712BA4E425}");

void PutUlong(std::vector<UCHAR> &bytes, ULONG value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<UCHAR>(value >> (8 * i)));
}

std::vector<UCHAR> RuleTable(LONG mode, const std::vector<Rule> &rules) {
  std::vector<UCHAR> bytes;
  PutUlong(bytes, static_cast<ULONG>(mode));
  PutUlong(bytes, static_cast<ULONG>(rules.size()));
  for (const Rule &rule : rules) {
    PutUlong(bytes, static_cast<ULONG>(rule.Name.size() * 2));
    for (WCHAR c : rule.Name) {
      bytes.push_back(static_cast<UCHAR>(c & 0xFF));
      bytes.push_back(static_cast<UCHAR>((c >> 8) & 0xFF));
    }
    PutUlong(bytes, static_cast<ULONG>(rule.State));
  }
  return bytes;
}

void DriverTest::SetUp() { standin::ResetKernel(Config()); }

void DriverTest::TearDown() {
  if (driver_ != nullptr && gControlDeviceObject != nullptr) {
    for (ULONG pid : exempted_) RemoveExemptProcess(pid);
    ClearVolumeRules();
    ClearPendingVolumes();
  }
  standin::DrainWorkItems();
  for (const std::string &violation : standin::Violations()) ADD_FAILURE() << "kernel rule broken: " << violation;
  standin::ShutdownKernel();
  for (const std::string &leak : standin::Leaks()) ADD_FAILURE() << "leak: " << leak;
}

NTSTATUS DriverTest::LoadFilter() {
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  driver_ = standin::LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &status);
  return status;
}

NTSTATUS DriverTest::Ioctl(ULONG code, const std::vector<UCHAR> &input, std::vector<UCHAR> *output,
                             ULONG outputLength, ULONG_PTR *information) {
  standin::FileHandle control;
  NTSTATUS status = standin::OpenDevice(KTEXT("\\??\\QEVRINd"), control);
  if (!NT_SUCCESS(status)) return status;
  std::vector<UCHAR> out(outputLength);
  ULONG_PTR transferred = 0;
  status = standin::DeviceIoControl(control, code, input.data(), static_cast<ULONG>(input.size()),
                                    outputLength ? out.data() : nullptr, outputLength, &transferred);
  if (output) *output = std::vector<UCHAR>(out.begin(), out.begin() + transferred);
  if (information) *information = transferred;
  return status;
}

NTSTATUS DriverTest::SetRules(LONG mode, const std::vector<Rule> &rules) {
  return Ioctl(IOCTL_FILTER_SET_VOLUME_RULES, RuleTable(mode, rules));
}

NTSTATUS DriverTest::Exempt(ULONG code, ULONG pid) {
  std::vector<UCHAR> input;
  PutUlong(input, pid);
  if (code == IOCTL_FILTER_ADD_EXEMPT_PROCESS) exempted_.push_back(pid);
  if (code == IOCTL_FILTER_REMOVE_EXEMPT_PROCESS) {
    for (auto it = exempted_.begin(); it != exempted_.end(); ++it) {
      if (*it == pid) {
        exempted_.erase(it);
        break;
      }
    }
  }
  return Ioctl(code, input);
}

PDEVICE_OBJECT DriverTest::VolumeFilter(standin::StorageVolume &volume) {
  if (!volume.Mounted()) return nullptr;
  for (PDEVICE_OBJECT device = volume.MountedVolume()->AttachedDevice; device; device = device->AttachedDevice)
    if (IsFilterDevice(device)) return device;
  return nullptr;
}

PDEVICE_OBJECT DriverTest::FileSystemFilter(PDEVICE_OBJECT fileSystem) {
  for (PDEVICE_OBJECT device = fileSystem->AttachedDevice; device; device = device->AttachedDevice)
    if (IsFilterDevice(device)) return device;
  return nullptr;
}

}  // namespace drivertest
