// Tables replaced while several threads issue requests on the same volumes.
#include "driver/tests/DriverFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace standin;

namespace drivertest {
namespace {

class Concurrency : public DriverTest {};

TEST_F(Concurrency, TableReplacementNeverLetsABlockedVolumeThrough) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  {
    MemoryFileSystem fs(KTEXT("Fat"));
    fs.Register();
    StorageVolume blocked(KTEXT("\\Device\\HarddiskVolume1"));
    StorageVolume allowed(KTEXT("\\Device\\HarddiskVolume2"));
    ASSERT_EQ(STATUS_SUCCESS, MountVolume(blocked));
    ASSERT_EQ(STATUS_SUCCESS, MountVolume(allowed));
    std::vector<Rule> rules = {{KTEXT("\\Device\\HarddiskVolume1"), VOLUME_ACCESS_BLOCK},
                               {KTEXT("\\Device\\HarddiskVolume2"), VOLUME_ACCESS_ALLOW}};
    ASSERT_EQ(STATUS_SUCCESS, SetRules(1, rules));

    std::atomic<bool> stop(false);
    std::atomic<int> wrongAnswers(0);
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
      workers.emplace_back([&, t] {
        SetCurrentProcessId(2000 + t);
        KString name = KTEXT("f") + KString(1, static_cast<WCHAR>('0' + t));
        while (!stop) {
          FileHandle file;
          // The allowed volume never fails and the blocked one never passes: the old table
          // stays in force until the new one is complete (it used to be mode 0 meanwhile).
          if (CreateFile(allowed, name, FILE_OPEN_IF, 0, file) != STATUS_SUCCESS) ++wrongAnswers;
          file.Close();
          if (CreateFile(blocked, name, FILE_OPEN_IF, 0, file) != STATUS_OBJECT_PATH_NOT_FOUND) ++wrongAnswers;
        }
      });
    }
    for (int round = 0; round < 200; ++round) ASSERT_EQ(STATUS_SUCCESS, SetRules(1 + round % 2, rules));
    stop = true;
    for (auto &worker : workers) worker.join();
    EXPECT_EQ(0, wrongAnswers.load());
    FileHandle file;
    EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, CreateFile(blocked, KTEXT("x"), FILE_OPEN_IF, 0, file));
  }
}

// Detaching freed the volume's name while a request sat in its rule wait on that device.
TEST_F(Concurrency, DetachWaitsForARequestInTheRuleWait) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume5"));
  ASSERT_EQ(STATUS_SUCCESS, MountVolume(volume));
  ASSERT_NE(nullptr, VolumeFilter(volume));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{KTEXT("\\Device\\HarddiskVolume1"), VOLUME_ACCESS_BLOCK}}));

  // Three seconds into the wait the file system lets the volume go, on another thread; the
  // waiting request goes on only once that thread waits for it or has finished.
  std::thread dismount;
  std::atomic<bool> dismounted(false);
  At(Milliseconds(3000), [&] {
    dismount = std::thread([&] {
      volume.Dismount();
      dismounted = true;
    });
    for (int i = 0; i < 5000 && !dismounted && RemoveLockWaits() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  FileHandle file;
  // The name is missing, so the request leaves no handle on the filter behind.
  EXPECT_EQ(STATUS_OBJECT_NAME_NOT_FOUND, CreateFile(volume, KTEXT("missing"), FILE_OPEN, 0, file));
  dismount.join();
  EXPECT_EQ(1u, RemoveLockWaits());
  EXPECT_EQ(Milliseconds(100 * 100), Now());
  EXPECT_FALSE(volume.Mounted());
  // The control device and the file system's filter are left; the volume's filter is gone.
  size_t devices = 0;
  for (PDEVICE_OBJECT device = driver_->DeviceObject; device; device = device->NextDevice) ++devices;
  EXPECT_EQ(2u, devices);
  EXPECT_EQ(1u, LivePoolBlocks(TAG_VOLUME_NAME));
}

}  // namespace
}  // namespace drivertest
