#pragma once
//
//  Shows the benchmark runs as usual and keeps each one's time per iteration (in the unit the
//  benchmark was given), so that a program can print its figures beside the reference it
//  measured in the same run.
//
#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

class TimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
};

// Runs the benchmarks the command line selects into the reporter; false when the command line
// holds an option the library does not know.
inline bool RunBenchmarks(int& argc, char** argv, TimeReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return false;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

// One line per named run: its time, and that time as a multiple of the reference run, which
// is described by the text (e.g. "memcpy of the same bytes"). Nothing when the reference did
// not run.
inline void PrintAgainstReference(const TimeReporter& reporter, const char* reference,
                                  std::initializer_list<const char*> names, const char* unit, const char* what)
{
    const auto base = reporter.times.find(reference);
    if (base == reporter.times.end() || base->second <= 0) {
        return;
    }
    for (const char* name : names) {
        const auto it = reporter.times.find(name);
        if (it != reporter.times.end()) {
            std::printf("%-24s %10.1f %s = %7.1f x %s (%.2f %s)\n", name, it->second, unit, it->second / base->second,
                        what, base->second, unit);
        }
    }
}
