//
//  Timing harness under Wine: the import dialog's worker path over a 100,000-row whitelist CSV
//  in code page 932 (count the lines for the progress range, then read with a progress call per
//  line), and the export of the same entries, beside a plain whole-file read of the same file in
//  the same run. Prints milliseconds per operation and the ratios. Not a test: scripts/bench runs it
//  under Wine.
//
#include "core/bench/WallClock.h"
#include "core/store/WholeFile.h"
#include "tool/csv/CsvWhitelistFile.h"
#include "tool/csv/bench/LargeWhitelist.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Quelmar;

namespace {

const int kRows = 100000;
const int kRounds = 5;

void CountStep(LPVOID argument)
{
    ++*static_cast<int*>(argument);
}

}  // namespace

int main()
{
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    int steps = 0;
    CsvFileJob job;
    job.path = CString(temp) + L"qevrin-csv-timing.csv";
    job.progress = CountStep;
    job.argument = &steps;
    const Whitelist entries = LargeWhitelist(kRows);

    try {
        double start = NowMs();
        for (int i = 0; i < kRounds; ++i) {
            WriteWhitelistCsv(job, entries);
        }
        const double exportMs = (NowMs() - start) / kRounds;

        start = NowMs();
        for (int i = 0; i < kRounds; ++i) {
            Whitelist read;
            CsvErrorList errors;
            const int lines = CountCsvLines(job);
            ReadWhitelistCsv(errors, job, read);
            if (lines != kRows || read.size() != entries.size() || !errors.empty()) {
                std::printf("import gave %d lines, %u entries, %u errors\n", lines, static_cast<unsigned>(read.size()),
                            static_cast<unsigned>(errors.size()));
                return 1;
            }
        }
        const double importMs = (NowMs() - start) / kRounds;

        std::vector<BYTE> bytes;
        start = NowMs();
        for (int i = 0; i < kRounds; ++i) {
            ReadWholeFile(job.path, bytes);
        }
        const double plainMs = (NowMs() - start) / kRounds;

        std::printf("file: %d rows, %u bytes\n", kRows, static_cast<unsigned>(bytes.size()));
        std::printf("import (count + read) %8.1f ms = %6.1f x a plain read of the file (%.1f ms); goal <= 1000 ms\n",
                    importMs, importMs / plainMs, plainMs);
        std::printf("export                %8.1f ms = %6.1f x a plain read of the file\n", exportMs,
                    exportMs / plainMs);
    } catch (const CFileException& e) {
        std::printf("file error %d (%ld)\n", e.m_cause, static_cast<long>(e.m_lOsError));
        DeleteFileW(job.path);
        return 1;
    }
    DeleteFileW(job.path);
    return 0;
}
