#pragma once
//
//  What the general page and the setup wizard's first page have in common: the whitelist
//  list, the rule for storage off the list and the three blocking switches, with their data
//  exchange, their mapping to and from a setting, their enabling, and the whitelist's add,
//  edit, delete and CSV import and export. The pages keep their own modified flags and button
//  rules. Windows builds only.
//
#include "core/model/Setting.h"
#include "tool/CWhiteListControl.h"

class CDataExchange;
class CWnd;

class WhitelistPageFields {
public:
    // Radio group 1005 (block all), 1006 (all read-only).
    int outsideIndex = 0;
    // List view 1001; each row owns a copy of its entry.
    CWhiteListControl list;
    int blockPortableDevices = 0;   // check box 1029
    int blockCdWriting = 0;         // check box 1031
    int blockInternalSd = 0;        // check box 1045
    // An import could neither bring in its file nor give the list its rows back: the list is
    // short, and is not to be stored until an import fills it.
    bool rowsLost = false;

    // Radio group 1005, the list 1001 (bound on the first exchange), checks 1029, 1031, 1045.
    void Exchange(CDataExchange* dx);
    // The values of the setting, and one row per whitelist entry in order (the list must be
    // bound). Does not move them into the controls.
    void Load(const Quelmar::SettingV3& setting);
    // Rule, whitelist (the rows in order) and switches into the setting; nothing else.
    void Store(Quelmar::SettingV3& setting) const;
    // Whether any of the values here differs from the setting's; rows compare in order.
    BOOL DiffersFrom(const Quelmar::SettingV3& setting) const;

    // Enables or disables the list, add, edit, delete, both radio buttons and the switches.
    static void EnableControls(CWnd& page, BOOL enable);
    BOOL HasSelectedRow() const;

    // The whitelist's editing actions; TRUE when the list changed. Each asks and reports
    // through its own dialogs, owned by owner.
    BOOL AddEntry(CWnd* owner);
    BOOL EditSelectedEntry(CWnd* owner);
    BOOL DeleteSelectedEntries(CWnd* owner);
    // TRUE when the CSV dialog ran its worker (the list then holds the file's rows, its own, or,
    // noted in rowsLost, neither).
    BOOL ImportCsv(CWnd* owner);
    void ExportCsv(CWnd* owner);
    // TRUE, after saying so, when the list is not to be stored (rowsLost).
    BOOL RefuseShortList(CWnd* owner) const;
};

// The radio index that shows a stored rule: 1 for all read-only, 0 for anything else.
int OutsideIndexFromPolicy(int policy);
// The rule that a radio index stores: read-only for 1, block for anything else.
int PolicyFromOutsideIndex(int index);
// The internal SD card check box: only a stored 1 is checked; and back, 1 only for checked.
int CheckFromSwitch(int value);
