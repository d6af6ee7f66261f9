#pragma once
//
//  Shows the benchmark runs as usual and keeps each one's time per iteration (in the unit the
//  benchmark was given), so that a program can print its figures beside the reference it
//  measured in the same run.
//
#include <benchmark/benchmark.h>

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
