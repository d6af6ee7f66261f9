#pragma once
//
//  What the CSV dialog hands to the whitelist CSV routines: the file and whom to tell of
//  progress. The routines call the callback once per line read or per entry written, on the
//  thread that runs them.
//
#include "classlib/CString.h"

namespace Quelmar {

typedef void (*CsvProgressCallback)(LPVOID argument);

struct CsvFileJob {
    CString path;
    CsvProgressCallback progress = nullptr;   // may be null
    LPVOID argument = nullptr;

    void ReportProgress() const
    {
        if (progress != nullptr) {
            progress(argument);
        }
    }
};

}  // namespace Quelmar
