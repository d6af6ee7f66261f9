#pragma once
//
//  The Windows version rules that the programs decide by. Each compares the major and minor
//  numbers of one probe; the programs declare no compatibility beyond 8.1 in their manifests,
//  so on later systems the probe reports 6.3 and these rules see 6.3.
//
namespace Quelmar {
namespace OSVersionRules {

// NoCDBurning policy: writing it and reading it back.
constexpr bool IsLaterThan5_0(unsigned major, unsigned minor) { return major > 5 || (major == 5 && minor != 0); }
// Disc recorder locking exists on 5.1 and 5.2 only.
constexpr bool Is5xAfter5_0(unsigned major, unsigned minor) { return major == 5 && minor != 0; }
// Device notifications are registered per interface class on 5.0.
constexpr bool IsExactly5_0(unsigned major, unsigned minor) { return major == 5 && minor == 0; }
// Tokens and kernel objects carry integrity levels from 6.0 on.
constexpr bool HasIntegrityLevels(unsigned major, unsigned) { return major >= 6; }
// How Explorer is made to see new drive states.
constexpr bool Is6_0(unsigned major, unsigned minor) { return major == 6 && minor == 0; }
constexpr bool Is6_1(unsigned major, unsigned minor) { return major == 6 && minor == 1; }
constexpr bool Is6_2OrLater(unsigned major, unsigned minor) { return major > 6 || (major == 6 && minor >= 2); }
// The drive remounter broadcasts the change itself before 6.2.
constexpr bool IsBefore6_2(unsigned major, unsigned minor) { return major < 6 || (major == 6 && minor < 2); }
// Drive letters are left out of the USB storage enumeration before 6.3.
constexpr bool IsBefore6_3(unsigned major, unsigned minor) { return major < 6 || (major == 6 && minor < 3); }
// The setting tool exempts itself from the driver while its device dialogs run.
constexpr bool Is6_3OrLater(unsigned major, unsigned minor) { return major > 6 || (major == 6 && minor > 2); }

}  // namespace OSVersionRules
}  // namespace Quelmar
