#pragma once
//
//  The words of the service's pipe protocol that both ends know: the pipe, the command codes,
//  the reply statuses, the interface version, and the limits that keep either end from being
//  held or swamped by the other.
//
#include "classlib/WinTypes.h"

namespace Quelmar {

#define QUELMAR_SERVICE_PIPE_NAME L"\\\\.\\pipe\\{7BD16A35-8881-40A2-AE62-3B6E21EAE000}"

enum ServiceCommandCode : int {
    CMD_GET_VERSION = 1,
    CMD_RELOAD_SETTINGS = 2,
    CMD_DEVICE_CHANGED = 3,
    CMD_ADD_EXEMPT_PROCESS = 4,
    CMD_REMOVE_EXEMPT_PROCESS = 5,
    CMD_QUERY_DRIVE_STATE = 6,
};

enum ServiceReplyStatus : int {
    REPLY_DONE = 0,
    REPLY_UNKNOWN_COMMAND = 1,
    REPLY_BAD_REQUEST = 2,
};

// Four 32-bit values.
const DWORD SERVICE_INTERFACE_VERSION[4] = {1, 0, 1, 1};

enum : DWORD {
    // Bytes asked for by one read of the pipe.
    PipePieceSize = 1024,
    // The longest message either end takes. Real requests and replies are at most 20 bytes;
    // anything longer is refused rather than buffered, so no client can make the service
    // allocate at will.
    PipeMessageLimit = 4096,
    // How long a client waits for each read or write of a reply: the setting tool's reload
    // may stop and start the service's workers before the reply is written; the programs in
    // the user's session must never hang on the service.
    PipeReplyLimitTool = 90000,
    PipeReplyLimitSessionProgram = 5000,
    // How long the service waits for a connected client's next request or for a reply to get
    // through. The one pipe instance serves one client at a time: a client that connects and
    // stays silent must not keep every other program from the service.
    PipeClientIdleLimit = 30000,
};

}  // namespace Quelmar
