#pragma once
//
//  The run-time key of Setting.dat and Imported.dat: built from two 32-bit values of key
//  material that the caller owns, never stored.
//
#include "classlib/WinTypes.h"

#include <vector>

class FileKeySource {
public:
    // material points to two 32-bit values that outlive this object.
    explicit FileKeySource(const DWORD* material) : material_(material) {}

    const DWORD* Material() const { return material_; }

private:
    const DWORD* material_;
};

// key becomes 16 bytes: the two values little-endian, then 8 zero bytes. A source without
// material gives 16 zero bytes.
void BuildRunTimeKey(const FileKeySource& source, std::vector<BYTE>& key);
