// Tables replaced while several threads issue requests on the same volumes.
#include "driver/tests/DriverFixture.h"

#include <atomic>
#include <thread>

using namespace standin;

namespace drivertest {
namespace {

class Concurrency : public DriverTest {};

TEST_F(Concurrency, TableReplacementWhileRequestsRun) {
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
          // The allowed volume never fails; the blocked one fails unless a replacement is in
          // progress (mode 0 while the table is rebuilt).
          if (CreateFile(allowed, name, FILE_OPEN_IF, 0, file) != STATUS_SUCCESS) ++wrongAnswers;
          file.Close();
          NTSTATUS status = CreateFile(blocked, name, FILE_OPEN_IF, 0, file);
          if (status != STATUS_OBJECT_PATH_NOT_FOUND && status != STATUS_SUCCESS) ++wrongAnswers;
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

}  // namespace
}  // namespace drivertest
