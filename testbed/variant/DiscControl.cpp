#include "testbed/variant/DiscControl.h"

#include <dbt.h>

#include <cstdio>
#include <vector>

namespace testbed {
namespace variant {
namespace {

const char* MediaName(DiscMedia media)
{
    switch (media) {
    case DiscMedia::None:
        return "none";
    case DiscMedia::Blank:
        return "blank";
    case DiscMedia::Recorded:
        return "recorded";
    case DiscMedia::Unreadable:
        return "unreadable";
    }
    return "?";
}

DiscMedia MediaOf(DiscMediaRequest media)
{
    switch (media) {
    case DiscMediaRequest::None:
        return DiscMedia::None;
    case DiscMediaRequest::Blank:
        return DiscMedia::Blank;
    case DiscMediaRequest::Recorded:
        return DiscMedia::Recorded;
    case DiscMediaRequest::Unreadable:
        return DiscMedia::Unreadable;
    }
    return DiscMedia::None;
}

std::string Report(ScenarioPc& pc, DiscSystem& discs)
{
    std::lock_guard<std::recursive_mutex> hold(discs.Lock());
    std::string reply = "ok server " + std::to_string(discs.ServerGeneration()) + " live-objects " +
                        std::to_string(discs.LiveObjects()) + " outstanding " + std::to_string(discs.OutstandingAllocations());
    for (const scenario::RecorderSpec& spec : pc.Description().recorders) {
        const DiscRecorder* recorder = pc.RecorderByName(spec.name);
        const char* holder = recorder->exclusiveHolder ? "service" : recorder->heldByOtherProgram ? "other" : "none";
        reply += "\nrecorder " + spec.name + " " + (recorder->letter ? std::string(1, char(recorder->letter)) : "-") +
                 " media " + MediaName(recorder->media) + " ejected " + std::to_string(recorder->ejected) + " attempts " +
                 std::to_string(recorder->ejectAttempts) + " holder " + holder + " closes-without-open " +
                 std::to_string(recorder->closesWithoutOpen);
    }
    return reply;
}

struct ProcessWindows {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* collected = reinterpret_cast<ProcessWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == collected->processId)
        collected->windows.push_back(window);
    return TRUE;
}

std::string VolumeArrival(const DiscRequest& request)
{
    DEV_BROADCAST_VOLUME record = {};
    // A short record still carries a unit mask behind its header: the receiver must not read it.
    record.dbcv_size = request.shortRecord ? DWORD(sizeof(DEV_BROADCAST_HDR)) : DWORD(sizeof(record));
    record.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    record.dbcv_unitmask = request.unitMask;
    record.dbcv_flags = request.mediaFlag ? DBTF_MEDIA : 0;
    ProcessWindows collected = {GetCurrentProcessId(), {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&collected));
    unsigned delivered = 0;
    for (HWND window : collected.windows) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&record),
                                SMTO_ABORTIFHUNG, 5000, &result))
            ++delivered;
    }
    return "ok windows " + std::to_string(delivered);
}

}  // namespace

std::string HandleDiscRequest(ScenarioPc& pc, const DiscRequest& request)
{
    if (request.verb == DiscVerb::VolumeArrival)
        return VolumeArrival(request);
    DiscSystem* discs = pc.Discs();
    if (!discs)
        return "error the scenario describes no disc recording";
    if (request.verb == DiscVerb::Report)
        return Report(pc, *discs);
    std::lock_guard<std::recursive_mutex> hold(discs->Lock());
    if (request.verb == DiscVerb::RestartMaster) {
        discs->RestartMasterServer();
        return "ok";
    }
    DiscRecorder* recorder = pc.RecorderByName(request.recorder);
    if (!recorder)
        return "error no recorder named '" + request.recorder + "' in the scenario";
    switch (request.verb) {
    case DiscVerb::Media:
        recorder->media = MediaOf(request.media);
        for (Volume* volume : pc.Pc().Volumes())
            if (volume->deviceName == recorder->devicePath)
                volume->mediaPresent = recorder->media != DiscMedia::None;
        return "ok";
    case DiscVerb::EjectFailure:
        recorder->ejectResult = static_cast<HRESULT>(request.ejectResult);
        return "ok";
    case DiscVerb::Hold:
    case DiscVerb::Release:
        recorder->heldByOtherProgram = request.verb == DiscVerb::Hold;
        return "ok";
    default:
        return "error unhandled disc request";
    }
}

}  // namespace variant
}  // namespace testbed
