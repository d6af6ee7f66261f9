#pragma once
//
//  What the password page and the setup wizard's password page have in common: the password
//  and key device controls with their data exchange and enabling rules, the key device's
//  texts and choice, the refusals that send the user back to a control, and the digest and
//  unlock mode that a page's values give. Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/PasswordData.h"

#include <vector>

class CDataExchange;
class CWnd;

class PasswordPageFields {
public:
    int passwordOn = 0;          // check box 1007
    CString password;            // edit 1008
    CString confirmation;        // edit 1009
    int keyDeviceOn = 0;         // check box 1029
    CString vendorIdText;        // static 1018
    CString productIdText;       // static 1019
    CString serialText;          // static 1020
    int unlockIndex = 0;         // radio group 1035 (either unlocks), 1034 (both needed)
    Quelmar::KeyDeviceId chosenKey;

    // 1007, 1008, 1009, 1029, 1018, 1019, 1020, radio group 1035, in that order.
    void Exchange(CDataExchange* dx);
    // The password edits follow the password switch, the key device's texts and button the
    // key device switch, the unlock choice needs both.
    void ApplyEnablingRules(CWnd& page) const;
    // The chosen key device as "0x%04X" ids and its serial number.
    void FormatKeyDeviceTexts();
    // Runs the device selection over every USB device; on OK the device becomes the chosen
    // key and its texts are set. TRUE when one was chosen.
    BOOL ChooseKeyDevice(CWnd* owner);
    BOOL KeyDeviceTextsEmpty() const;

    // Tells why the password is refused and puts the caret into its edit, text selected.
    static void RefusePassword(CWnd& page, UINT messageId);
    // Asks for a key device and puts the focus on the choice button.
    static void RefuseKeyDevice(CWnd& page);
};

// The stored unlock mode of a radio index: 0 gives either (1), 1 gives both (2), else 0.
int UnlockModeFromIndex(int index);
// The password digest the unlock check compares with: MD5 over the UTF-16LE text.
std::vector<BYTE> ComputePasswordDigest(const CString& text);
// Same vendor ID, product ID and serial number (exact text).
BOOL EqualKeyDevice(const Quelmar::KeyDeviceId& a, const Quelmar::KeyDeviceId& b);
