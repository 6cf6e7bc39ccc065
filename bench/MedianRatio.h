// A console reporter that also keeps the median of each repeated benchmark and, at the end, prints
// each measured row as a ratio to its reference row: "ratio <measured> / <reference> = 1.23".
#pragma once

#include "Quick.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class MedianRatioReporter : public benchmark::ConsoleReporter {
public:
    // Pairs of benchmark names (as printed, without the "_median" suffix): measured, reference.
    explicit MedianRatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
        : m_pairs(std::move(pairs))
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // The one time of a benchmark that ran once (quick mode) stands for its median.
        for (const Run& run : runs)
            if ((run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                || (run.run_type == Run::RT_Iteration && run.repetitions <= 1 && !run.error_occurred))
                m_medians[plainName(run.run_name.str())] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto& [measured, reference] : m_pairs) {
            const auto m = m_medians.find(measured), r = m_medians.find(reference);
            if (m == m_medians.end() || r == m_medians.end() || r->second <= 0)
                continue;
            std::printf("ratio %s / %s = %.2f\n", measured.c_str(), reference.c_str(), m->second / r->second);
        }
        std::fflush(stdout);
    }

private:
    // The name without the "/iterations:n" and "/repeats:n" parts.
    static std::string plainName(std::string name)
    {
        for (const char* part : {"/iterations:", "/repeats:"})
            if (const size_t at = name.find(part); at != std::string::npos) {
                const size_t end = name.find('/', at + 1);
                name.erase(at, end == std::string::npos ? std::string::npos : end - at);
            }
        return name;
    }

    std::vector<std::pair<std::string, std::string>> m_pairs;
    std::map<std::string, double> m_medians;
};

// The command line with random interleaving switched on unless it says otherwise, ending in a null:
// interleaved repetitions keep a busy machine from favouring one side of a pair.
inline std::vector<char*> interleavedArgs(int argc, char** argv)
{
    std::vector<char*> args = quickArgs(argc, argv);
    static char interleaved[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(argv + 1, argv + argc, [](const char* a) { return std::strstr(a, "random_interleaving") != nullptr; }))
        args.insert(args.end() - 1, interleaved);
    return args;
}

// Runs the registered benchmarks interleaved and prints each pair's ratio of medians; false for
// an unknown flag.
inline bool runInterleaved(int argc, char** argv, std::vector<std::pair<std::string, std::string>> pairs)
{
    std::vector<char*> args = interleavedArgs(argc, argv);
    if (!initialize(args))
        return false;
    MedianRatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

} // namespace bench
