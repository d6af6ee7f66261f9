//
//  Import of a 100,000-row whitelist CSV (decoded text to entries and error texts, with a
//  progress callback per line as the import dialog's worker passes one), and the export of the
//  same entries to text, beside a plain split of the same text at line breaks and commas
//  measured in the same run. The goal for the import is at most one second on this build.
//
#include "tool/csv/CsvWhitelistText.h"
#include "core/bench/TimeReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace Quelmar;

namespace {

const int kRows = 100000;

CString Numbered(const WCHAR* prefix, int n)
{
    CString text(prefix);
    for (int digits = 0; digits < 8; ++digits, n /= 10) {
        text += static_cast<WCHAR>('0' + n % 10);
    }
    return text;
}

// Rows as an administrator keeps them: ids, a serial, a maker with a comma (quoted), a product
// with a doubled quote every tenth row, and one bad line per hundred.
const Whitelist& SourceEntries()
{
    static const Whitelist entries = [] {
        Whitelist list;
        for (int i = 0; i < kRows; ++i) {
            WhitelistEntry e;
            e.attribute = i % 3 == 0 ? 2 : 0;
            e.useVendorId = 1;
            e.vendorId = static_cast<WORD>(0x0781 + i % 7);
            e.useProductId = 1;
            e.productId = static_cast<WORD>(i);
            e.useSerialNumber = 1;
            e.serialNumber = Numbered(_T("4C530001230918"), i);
            e.manufacturer = _T("Generic Storage, Inc.");
            e.product = i % 10 == 0 ? _T("USB \"Flash\" Disk 3.0") : _T("USB Flash Disk 3.0");
            list.push_back(e);
        }
        return list;
    }();
    return entries;
}

const CString& ImportText()
{
    static const CString text = [] {
        const CString document = BuildWhitelistCsvDocument(CsvFileJob(), SourceEntries());
        // Every hundredth row made bad, so the error path is part of the import.
        CString::Buffer units = document.Text();
        size_t row = 0;
        for (size_t i = 0; i < units.size(); ++i) {
            if (i == 0 || units[i - 1] == '\n') {
                if (row++ % 100 == 99) {
                    units[i] = 'x';
                }
            }
        }
        return CString(units.c_str(), units.size());
    }();
    return text;
}

void CountStep(LPVOID argument)
{
    ++*static_cast<int*>(argument);
}

void SetRates(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kRows);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ImportText().GetLength()) * 2);
}

void BM_CsvImport(benchmark::State& state)
{
    const CString& text = ImportText();
    for (auto _ : state) {
        int steps = 0;
        CsvFileJob job;
        job.progress = CountStep;
        job.argument = &steps;
        Whitelist entries;
        CsvErrorList errors;
        ParseWhitelistCsvText(errors, job, text, entries);
        if (steps != kRows || errors.size() != kRows / 100) {
            state.SkipWithError("unexpected import result");
            break;
        }
        benchmark::DoNotOptimize(entries.data());
    }
    SetRates(state);
}

void BM_CsvExport(benchmark::State& state)
{
    const Whitelist& entries = SourceEntries();
    for (auto _ : state) {
        CString document = BuildWhitelistCsvDocument(CsvFileJob(), entries);
        benchmark::DoNotOptimize(document.GetString());
    }
    SetRates(state);
}

// The reference: every field of the same text copied once into a reused buffer, split at
// commas and line breaks with no quoting rules, no conversion and no entries.
void BM_PlainSplitReference(benchmark::State& state)
{
    const CString::Buffer& text = ImportText().Text();
    CString::Buffer field;
    for (auto _ : state) {
        size_t fields = 0;
        size_t start = 0;
        for (size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == ',' || text[i] == '\r' || text[i] == '\n') {
                field.assign(text, start, i - start);
                benchmark::DoNotOptimize(field.data());
                fields += i > start;
                start = i + 1;
            }
        }
        benchmark::DoNotOptimize(fields);
    }
    SetRates(state);
}

BENCHMARK(BM_CsvImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainSplitReference)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv)
{
    TimeReporter reporter;
    if (!RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    std::printf("\ntext: %d rows, %d characters; import goal <= 1000 ms\n", kRows, ImportText().GetLength());
    PrintAgainstReference(reporter, "BM_PlainSplitReference", {"BM_CsvImport", "BM_CsvExport"}, "ms",
                          "a plain split of the same text");
    return 0;
}
