#pragma once
//
//  What a simulated volume answers to the storage control codes: the number of its disk, its
//  partition and the bus its disk sits on, and which of the queries fail.
//
#include <windows.h>

namespace testbed {

struct StorageProperties {
    // -1: numbered by the disk the volume lies on (volumes of one disk share the number) and
    // by its place among that disk's volumes.
    LONG deviceNumber = -1;
    LONG partitionNumber = -1;
    // -1: USB when the disk lies on a USB device, else SATA.
    LONG busType = -1;
    bool removableMedia = false;
    // -1: the property reply fills as much of the caller's buffer as the descriptor needs;
    // else it stops after this many bytes, as a driver that answers short.
    LONG propertyReplyBytes = -1;
    bool openFails = false;            // CreateFileW on the volume's paths fails
    bool deviceNumberFails = false;    // IOCTL_STORAGE_GET_DEVICE_NUMBER fails
    bool propertyQueryFails = false;   // IOCTL_STORAGE_QUERY_PROPERTY fails
};

}  // namespace testbed
