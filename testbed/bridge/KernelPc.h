#pragma once
//
//  The kernel half of the simulated PC: the kernel stand-in with the QEVRINd filter loaded,
//  a file system and one storage volume per volume of the machine, under the same NT device
//  names. This header carries neither Win32 nor kernel names, so both halves include it.
//
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bridge {

// One handle on a device of the kernel, as a user-mode open makes it.
class KernelDeviceHandle {
public:
    virtual ~KernelDeviceHandle() = default;
    // The NTSTATUS of the buffered control request; *information takes the bytes returned.
    virtual int32_t Control(uint32_t processId, uint32_t code, const void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t* information) = 0;
};

// What an ordinary write attempt meets on a volume, one NTSTATUS per step.
struct AccessProbe {
    int32_t create = 0;      // a new file
    int32_t openForWriting = 0;  // an existing file, asking for write access
    int32_t open = 0;        // an existing file, for reading, for the steps below
    int32_t write = 0;
    int32_t rename = 0;
    int32_t query = 0;       // the volume's attributes
    bool readOnlyVolume = false;
};

class KernelPc {
public:
    // A fresh kernel with the file system registered and the filter loaded.
    KernelPc();
    ~KernelPc();
    KernelPc(const KernelPc&) = delete;
    KernelPc& operator=(const KernelPc&) = delete;

    bool FilterLoaded() const;
    // Which process ids name a running process of the PC outside the kernel: the programs that
    // ask the driver to exempt them run there.
    void SetOutsideProcesses(std::function<bool(uint32_t)> running);
    void AddVolume(const std::wstring& deviceName);
    // Mounts the volume as the system does when it arrives: the filter attaches and signals
    // its volume event. The NTSTATUS of the mount.
    int32_t MountVolume(const std::wstring& deviceName);
    // The volume goes with its files and its mount, as an unplugged stick's does.
    void RemoveVolume(const std::wstring& deviceName);
    // One file request on the volume as the process makes it; the NTSTATUS it meets. Write
    // opens or creates the file and writes data at its start; read fills data.
    enum class FileStep { Create, Write, Read, Rename };
    int32_t FileOperation(const std::wstring& deviceName, uint32_t processId, FileStep step, const std::wstring& path,
                          const std::wstring& newName, std::vector<uint8_t>& data);
    // Opens a device by its namespace path ("\??\QEVRINd"): null with *status on failure.
    std::unique_ptr<KernelDeviceHandle> OpenDevice(const std::wstring& path, int32_t* status);
    // Creates, writes, renames and queries on the volume as the process would.
    AccessProbe Probe(const std::wstring& deviceName, uint32_t processId);
    // The state of the driver's rule for the name; false when it holds none.
    bool DriverRule(const std::wstring& deviceName, int32_t* state) const;
    int32_t DriverMode() const;
    // The driver's table in its order: each name with its state.
    std::vector<std::pair<std::wstring, int32_t>> DriverRules() const;
    // How often the driver has signalled its named volume event so far.
    size_t VolumeEventSignals() const;
    // Kernel rules broken so far.
    std::vector<std::string> Violations() const;
    // Blocks and objects that the last kernel still held when it was shut down.
    static std::vector<std::string> LeaksOfLastKernel();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace bridge
