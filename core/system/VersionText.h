#pragma once
//
//  Dotted version texts ("10.0.16299") split into numbers and compared part by part.
//
#include "classlib/CString.h"

#include <cstdint>
#include <vector>

// Splits text at every occurrence of separator; each non-empty piece becomes one number (a
// piece that does not start with a number gives 0). Returns the count of numbers.
int SplitVersionNumbers(const CString& text, const CString& separator, std::vector<int32_t>& numbers);

// 1 when a is the later version, -1 when b is, 0 when they are the same version. A part that
// one side lacks counts as 0, so 10.0.16299 and 10.0.16299.0 are the same version.
int CompareVersionNumbers(const std::vector<int32_t>& a, const std::vector<int32_t>& b);

int CompareVersionStrings(const CString& a, const CString& separatorA, const CString& b, const CString& separatorB);
