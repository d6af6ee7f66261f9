#pragma once
//
//  The stored record of the portable devices that the service disabled, so that a service
//  that ends without enabling them (a crash, a power loss) enables them at its next start.
//  HKEY_LOCAL_MACHINE\<key path>: one REG_SZ value per driver key, named "0", "1", ... in the
//  recorded order, data without a terminating NUL; the key exists only while devices are
//  recorded.
//
#include "classlib/CString.h"
#include "service/devices/PortableDeviceList.h"

#include <vector>

namespace Quelmar {

extern const WCHAR kPortableDeviceKeyPath[];

// Rewrites the key from the list's record in place: the values 0..n-1, then every other value
// deleted; the key deleted when the record is empty. A key that cannot be opened or created
// stays as it was.
void RecordDevices(const PortableDeviceList& list, const CString& keyPath);

// The driver keys the key holds, in order, without duplicates; non-text values and values
// that cannot be read within a few tries are passed over. FALSE when the key cannot be
// opened.
BOOL ReadRecordedDevices(const CString& keyPath, std::vector<CString>& driverKeys);

// Enables the devices the key lists, then keeps in the key only those that could not be
// enabled; the key goes once none is left.
void RestoreDevices(const CString& keyPath);

}  // namespace Quelmar
