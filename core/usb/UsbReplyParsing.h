#pragma once
//
//  Checks and decodes what USB drivers and the configuration manager hand back: string
//  descriptor replies and USB device instance ids. Plain byte and text work, so that every
//  preset builds it and the fuzz targets can reach it.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <cstddef>
#include <vector>

// Bytes before the descriptor in a descriptor request: connection index and setup packet.
const DWORD kDescriptorRequestHeader = 12;

// Accepts a string descriptor reply when it is well formed: at least its 2-byte header,
// type 3, an even bLength, and exactly bLength bytes after the request header returned.
// request is the whole request buffer the driver answered into. On acceptance the
// descriptor is the bLength bytes with their header; otherwise it is left untouched.
bool AcceptStringDescriptor(const BYTE* request, size_t requestBytes, DWORD returned, std::vector<BYTE>& descriptor);

// The UTF-16LE text of a byte range, ending at its end or its first NUL.
CString TextFromLittleEndianBytes(const BYTE* bytes, size_t count);

// Reads "USB\VID_%x&PID_%x\%s" as the C library's scanner would: returns how many of the
// three fields were read (hexadecimal vendor and product ids, then the rest up to white space).
int ScanUsbInstanceId(const CString& id, DWORD& vendor, DWORD& product, CString& rest);
