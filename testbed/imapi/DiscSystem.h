#pragma once
//
//  The disc recorders of the simulated PC and the two generations of the platform's
//  disc-recording objects that reach them.
//
//  A test builds one DiscSystem over its Machine; while it lives, CoCreateInstance hands out
//  simulated disc masters, recorders and data writers for the platform's class ids and sends
//  every other class to the system, and the system folder holds an imapi2.dll of the machine's
//  whose class factory makes the second generation's objects (on a thread in a single-threaded
//  apartment only, as their threading model allows). A recorder with a drive letter is also a
//  CD-ROM volume of the machine, so that QueryDosDeviceW("D:") answers its device path.
//
//      testbed::Machine pc;
//      testbed::DiscSystem discs(pc);
//      auto& d = discs.AddRecorder(L'D', testbed::DiscMedia::Blank);
//      auto& f = discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\", testbed::DiscMedia::Blank);
//      d.ejectResult = E_FAIL;         // the next ejections of D: fail until this is S_OK again
//      discs.RestartMasterServer();    // every first-generation object of the old server is gone
//      discs.imapi2.present = false;   // Windows XP without the second generation's update
//      discs.userClassServer = testbed::UserClassServer::UsersOwn;
//
//  Everything the simulated objects hand out (BSTRs, SAFEARRAYs, object references) is
//  counted until the caller gives it back, so a test can see a leak.
//
#include "testbed/machine/Machine.h"

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace testbed {

enum class DiscMedia {
    None,        // an empty drive
    Blank,       // writable media with nothing on it
    Recorded,    // a pressed or written disc
    Unreadable,  // the drive answers the media queries with mediaError
};

// A registration of the second generation's classes in the user's own HKCU\Software\Classes,
// which CoCreateInstance prefers for a token that is not elevated: its InprocServer32 names a
// file that does not exist, or a DLL of the user's, which CoCreateInstance loads into the
// program (see DiscSystem::UserServerLoads) and whose class factory hands out nothing.
enum class UserClassServer { None, Missing, UsersOwn };

struct DiscRecorder {
    std::wstring uniqueId;                 // the second generation's recorder id
    std::wstring devicePath;               // "\Device\CdRom0"
    wchar_t letter = 0;                    // 0: no drive letter
    std::vector<std::wstring> mountFolders;  // "C:\mnt\dvd\" (with the trailing backslash)
    long recorderType = 0x3;               // first generation: CD-R | CD-RW; 0 is a CD-ROM drive
    bool dataWriterSupported = true;       // second generation: IsRecorderSupported
    DiscMedia media = DiscMedia::Blank;
    HRESULT mediaError = E_FAIL;           // the answer of the media queries for Unreadable
    bool burning = false;                  // first generation: the state is "burning"
    bool heldByOtherProgram = false;       // another program has the drive for its exclusive use
    HRESULT ejectResult = S_OK;            // injected ejection failure while not S_OK
    bool refusesSecondReference = false;   // first generation: QueryInterface for the recorder fails

    // What the code under test did to the drive.
    unsigned ejected = 0;                  // successful ejections (each leaves the drive empty)
    unsigned ejectAttempts = 0;
    unsigned closesWithoutOpen = 0;        // first generation: Close on an object that had not opened it
    unsigned closes = 0;                   // first generation: Close that ended the exclusive use

    // First generation: unplugged, the drive is left out of enumerations, and every object of
    // it (also of an earlier plug) answers IMAPI_E_DEVICE_NOTPRESENT; see DiscSystem::Unplug.
    bool present = true;
    unsigned plugCycle = 0;

    // First generation: the recorder object (of the running server) that holds the drive open
    // for its exclusive use, or null.
    const void* exclusiveHolder = nullptr;
};

class DiscSystem {
public:
    explicit DiscSystem(Machine& machine);
    ~DiscSystem();
    DiscSystem(const DiscSystem&) = delete;
    DiscSystem& operator=(const DiscSystem&) = delete;

    // The disc system the interposed calls see; null outside a test's.
    static DiscSystem* Current();
    std::recursive_mutex& Lock() { return machine_.Lock(); }

    // Recorders, in the order both generations list them. Device paths are \Device\CdRom0,
    // 1, ...; unique ids are distinct per recorder.
    DiscRecorder& AddRecorder(wchar_t letter, DiscMedia media = DiscMedia::Blank);
    DiscRecorder& AddFolderMountedRecorder(std::wstring folder, DiscMedia media = DiscMedia::Blank);
    DiscRecorder& AddUnmountedRecorder(DiscMedia media = DiscMedia::Blank);
    const std::vector<std::unique_ptr<DiscRecorder>>& Recorders() const { return recorders_; }
    DiscRecorder* FindByUniqueId(const std::wstring& id);
    DiscRecorder* FindByLetter(wchar_t letter);

    // Which generations the platform has: the first's disc master service registered, and the
    // system folder's imapi2.dll, whose classes the system registers with it (Windows XP has
    // only the first unless its update is installed; Wine neither).
    bool firstGenerationRegistered = true;
    LibraryFile& imapi2;
    UserClassServer userClassServer = UserClassServer::None;
    unsigned UserServerLoads() const { return userServerLoads_; }

    // The first generation's server process ends and a new one starts: every object of the
    // old server answers kDiscMasterServerGone from then on, and the exclusive holds it kept
    // end with it.
    void RestartMasterServer();

    // The drive is unplugged (its exclusive use ends with it) or plugged in again as a new
    // device, which the objects of its earlier plug do not reach.
    void Unplug(DiscRecorder& recorder);
    void Replug(DiscRecorder& recorder);
    unsigned ServerGeneration() const { return serverGeneration_; }

    // Objects not yet released, and BSTRs and SAFEARRAYs handed out and not yet freed.
    long LiveObjects() const { return liveObjects_; }
    size_t OutstandingAllocations();
    unsigned DataWritersCreated() const { return writersCreated_; }

    // Internal to the simulated objects.
    void ObjectCreated() { ++liveObjects_; }
    void ObjectDestroyed() { --liveObjects_; }
    void WriterCreated() { ++writersCreated_; }
    void UserServerLoaded() { ++userServerLoads_; }
    BSTR HandOutString(const std::wstring& text);
    SAFEARRAY* HandOutPathArray(const std::vector<std::wstring>& paths);
    // True when pointer was handed out and not yet freed; it then counts as freed.
    bool TakeBack(const void* pointer);
    std::vector<std::wstring> MountPaths(const DiscRecorder& recorder) const;

private:
    DiscRecorder& Add(wchar_t letter, std::vector<std::wstring> folders, DiscMedia media);

    Machine& machine_;
    std::vector<std::unique_ptr<DiscRecorder>> recorders_;
    std::set<const void*> handedOut_;
    unsigned serverGeneration_ = 1;
    std::atomic<long> liveObjects_{0};
    std::atomic<unsigned> writersCreated_{0};
    std::atomic<unsigned> userServerLoads_{0};
};

}  // namespace testbed
