#pragma once
//
//  The access list that the product's data folder and its registry item key carry:
//  CREATOR OWNER, SYSTEM and Administrators full control, INTERACTIVE every right but
//  WRITE_DAC and WRITE_OWNER, so that a logged-on user can change the setting but can neither
//  rewrite who may change it nor take the object over. Windows builds only.
//
#include "classlib/ScopedLocalMemory.h"

#include <windows.h>

class ProductAccessList {
public:
    // Builds the DACL at once; IsValid() tells whether that worked.
    ProductAccessList();
    ProductAccessList(const ProductAccessList&) = delete;
    ProductAccessList& operator=(const ProductAccessList&) = delete;

    bool IsValid() const { return error_ == ERROR_SUCCESS; }
    DWORD Error() const { return error_; }
    // Security attributes over the DACL, not inherited by child processes; null when the
    // list could not be built.
    SECURITY_ATTRIBUTES* Attributes() { return IsValid() ? &attributes_ : nullptr; }

    static const DWORD kFullAccess = 0x1F01FF;
    static const DWORD kInteractiveAccess = 0x1301FF;

private:
    DWORD error_ = ERROR_SUCCESS;
    ScopedLocalMemory<ACL> dacl_;
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
};
