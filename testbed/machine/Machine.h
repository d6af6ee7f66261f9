#pragma once
//
//  The simulated PC that test executables run the product's enumeration code on.
//
//  A test builds one Machine in a few lines; while it lives it is the machine that the
//  interposed Win32 calls (device paths, SetupAPI, the configuration manager, the volume
//  calls) answer from. It may be changed between and during calls: every accessor and every
//  answer holds the machine's lock. One machine at a time.
//
//      testbed::Machine pc;
//      auto& root = pc.AddHostController(4).RootHub();
//      auto& stick = root.Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"4C53"));
//      pc.AddVolume(stick.Disk(), L'E');
//
#include "testbed/machine/DeviceTree.h"
#include "testbed/machine/UsbTopology.h"
#include "testbed/machine/Volumes.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace testbed {

class ClassInstaller;
class ShellRecorder;
class UserSessions;

// Something a handle of the simulated machine refers to. Each kind of handle derives from it.
class OpenObject {
public:
    virtual ~OpenObject() = default;
};

enum class Reach { ByName = 1, ByInterface = 2, ByNameAndInterface = 3 };

// A library file of the machine's: LoadLibraryExW of its full path (in any case) gives a handle
// of the machine's while the file is present, GetProcAddress on that handle the exports here,
// and FreeLibrary lets go of one load. Any other name goes to Wine.
struct LibraryFile {
    std::wstring path;
    bool present = true;
    std::map<std::string, void*> exports;
    std::atomic<long> loads{0};                    // loads not yet let go
    std::atomic<long> liveObjects{0};              // objects of the library's code still alive
    std::atomic<unsigned> unloadsUnderObjects{0};  // the last load went while some lived
};

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine that the interposed calls see; null outside a test's machine.
    static Machine* Current();
    std::recursive_mutex& Lock() { return lock_; }

    // Device tree.
    DeviceNode& Root() { return *nodes_.front(); }
    DeviceNode& AddNode(DeviceNode& parent, std::wstring instanceId);
    void RemoveNode(DeviceNode& node);          // the node and everything below it
    DeviceNode* FindNode(DEVINST handle);        // present nodes only
    DeviceNode* FindNode(const std::wstring& instanceId);
    DeviceInterface& AddInterface(const GUID& classGuid, DeviceNode& node, std::wstring path);
    std::vector<DeviceInterface> Interfaces(const GUID& classGuid);  // present ones, in order
    std::vector<DeviceNode*> PresentNodes();     // pre-order, root excluded
    std::vector<DeviceNode*> AllNodes();         // present or not, in creation order, root excluded
    void ReturnNode(DeviceNode& node);           // a removed node is present again

    // USB.
    UsbHostController& AddHostController(int rootPorts = 4, Reach reach = Reach::ByNameAndInterface);
    const std::vector<std::unique_ptr<UsbHostController>>& HostControllers() const { return controllers_; }
    UsbHostController* FindControllerByPath(const std::wstring& path);
    UsbHub* FindHubByName(const std::wstring& name);
    UsbDevice* FindUsbDeviceAbove(DeviceNode* node);   // the USB device a node belongs to

    // Volumes. A volume of a disk becomes one of the disk's removal relations.
    Volume& AddVolume(DeviceNode* disk, wchar_t letter = 0, UINT driveType = DRIVE_REMOVABLE);
    Volume& AddVolumeWithoutInterface(wchar_t letter = 0, UINT driveType = DRIVE_FIXED);
    // A further volume interface, on another node, that resolves to the same volume.
    DeviceInterface& AddVolumeInterface(Volume& volume, DeviceNode& node);
    std::vector<Volume*> Volumes();              // present ones, in the volume manager's order
    Volume* FindVolumeByLetter(wchar_t letter);
    Volume* FindVolumeByMountPoint(const std::wstring& path);
    Volume* FindVolumeByDosName(const std::wstring& name);

    // The class installer, the sessions with their users and processes, and the shell's record.
    ClassInstaller& Installer();
    UserSessions& Sessions();
    ShellRecorder& Shell();
    // Sleep returns at once and moves the tick count on instead.
    bool sleepAdvancesClock = false;

    // Libraries that LoadLibraryW must not find on this machine.
    void RemoveLibrary(std::wstring name) { removedLibraries_.insert(Upper(std::move(name))); }
    bool LibraryRemoved(const std::wstring& name) const;
    // Libraries that the machine supplies itself at their full path (system DLLs that Wine
    // lacks); see LibraryFile. Removing one that is still loaded leaves its handles dead.
    LibraryFile& AddLibraryFile(std::wstring path);
    void RemoveLibraryFile(LibraryFile& file);
    LibraryFile* FindLibraryFile(const std::wstring& path);
    LibraryFile* FindLibraryFile(HMODULE handle);

    // Handles the interposed calls hand out for machine objects.
    HANDLE OpenHandle(std::shared_ptr<OpenObject> object);
    std::shared_ptr<OpenObject> FindHandle(HANDLE handle);
    bool CloseMachineHandle(HANDLE handle);
    size_t OpenHandleCount();

    // Runs before every control-code request: a test changes the machine while code runs.
    std::function<void(DWORD code)> beforeRequest;

    // The byte count that the USB drivers report for a name reply (driver keys, hub names):
    // the whole reply, or only the request's fixed part, as some drivers do.
    enum class NameByteCount { WholeReply, FixedPart };
    NameByteCount nameByteCount = NameByteCount::WholeReply;

    // The Windows version GetVersionExW reports; 0.0 leaves the question to Wine.
    DWORD majorVersion = 0;
    DWORD minorVersion = 0;
    void SetWindowsVersion(DWORD major, DWORD minor)
    {
        majorVersion = major;
        minorVersion = minor;
    }
    // Windows 5.x has no integrity levels: there the token and object label calls fail, for
    // the simulated tokens and the system's own objects alike.
    bool HasIntegrityLevels() const { return majorVersion == 0 || majorVersion >= 6; }
    // A compatibility layer of the running program (__COMPAT_LAYER, AppCompatFlags\Layers):
    // GetVersionExW reports this version instead, and nothing else changes; 0.0 for none.
    DWORD layerMajorVersion = 0;
    DWORD layerMinorVersion = 0;
    void SetCompatibilityLayerVersion(DWORD major, DWORD minor)
    {
        layerMajorVersion = major;
        layerMinorVersion = minor;
    }

    // Windows is x64, so a 32-bit program (an x86 test or variant) runs under WOW64 and meets
    // its limits: the class installer refuses it with ERROR_IN_WOW64. The registry's 32-bit
    // view and the file-system redirection need nothing here: Wine's 64-bit prefix gives them
    // to every 32-bit program already.
    bool windows64 = false;

    // Where Windows lies and which program runs; empty leaves the question to Wine.
    std::wstring windowsFolder;
    std::wstring programFile;
    // Added to every GetTickCount answer, to run code across the count's wrap.
    DWORD tickCountOffset = 0;
    // A test variant's time scale: from tickCountBase on, the count runs this many times faster.
    DWORD tickCountScale = 1;
    DWORD tickCountBase = 0;

    // Internal to the model: name and number sources shared by the builders.
    std::wstring NextDriverKey();
    std::wstring NextHubName(const std::wstring& deviceId);
    std::wstring NextObjectName();
    void PlugDevice(UsbHub& hub, int port, UsbDevice& device, const std::wstring& parentId);
    UsbHub& NewHub(std::wstring name, DeviceNode* node, int ports);
    UsbDevice& NewDevice(UsbDeviceSpec spec);

private:
    std::recursive_mutex lock_;
    std::vector<std::unique_ptr<DeviceNode>> nodes_;
    std::vector<DeviceInterface> interfaces_;
    std::vector<std::unique_ptr<UsbHostController>> controllers_;
    std::vector<std::unique_ptr<UsbHub>> hubs_;
    std::vector<std::unique_ptr<UsbDevice>> devices_;
    std::vector<std::unique_ptr<Volume>> volumes_;
    std::set<std::wstring> removedLibraries_;
    // Its own lock: the loader calls look here under the system's loader lock.
    std::mutex librariesLock_;
    std::vector<std::unique_ptr<LibraryFile>> libraryFiles_;
    std::vector<std::pair<HANDLE, std::shared_ptr<OpenObject>>> handles_;
    DeviceNode* volumeManager_ = nullptr;
    unsigned nextHandle_ = 0;
    unsigned driverKeys_ = 0;
    unsigned objectNames_ = 0;
    int nextHcdIndex_ = 0;
    std::unique_ptr<ClassInstaller> installer_;
    std::unique_ptr<UserSessions> sessions_;
    std::unique_ptr<ShellRecorder> shell_;
};

// The calling thread's error mode where the system keeps one per thread (6.1 on), else 0.
UINT ThreadErrorMode();

}  // namespace testbed
