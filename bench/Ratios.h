// Benchmarks read as ratios: each measured benchmark names its reference, every benchmark runs
// several times, and after the run a table puts the median of each beside the median of its
// reference with the ratio of the two.
#pragma once

#include "Quick.h"

#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Measured benchmark name -> reference benchmark name, full names as printed ("BM_Zoom/4").
inline std::vector<std::pair<std::string, std::string>>& comparisons()
{
    static std::vector<std::pair<std::string, std::string>> list;
    return list;
}

// `measured` is read against `reference`; both are full benchmark names.
inline void compare(const std::string& measured, const std::string& reference)
{
    comparisons().emplace_back(measured, reference);
}

// The console report, keeping the median of every benchmark (or its one time, without repetitions).
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single)
                continue;
            // Named as registered, without the "manual_time" that manual timing adds.
            benchmark::BenchmarkName name = run.run_name;
            name.time_type.clear();
            m_seconds[name.str()] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }

    // The table of ratios; rows whose benchmark or reference did not run are left out.
    void printRatios() const
    {
        if (comparisons().empty())
            return;
        std::printf("\n%-44s %12s   %-36s %12s %8s\n", "measured", "median ms", "reference", "median ms", "ratio");
        for (const auto& [measured, reference] : comparisons()) {
            const auto m = m_seconds.find(measured), r = m_seconds.find(reference);
            if (m == m_seconds.end() || r == m_seconds.end() || r->second <= 0)
                continue;
            std::printf("%-44s %12.3f   %-36s %12.3f %7.2fx\n", measured.c_str(), m->second * 1e3, reference.c_str(),
                        r->second * 1e3, m->second / r->second);
        }
    }

private:
    std::map<std::string, double> m_seconds;
};

// The toolkit's thread pool with one thread: its image scaling and conversions would otherwise
// spread over every core, ours run on one.
inline void oneToolkitThread()
{
    QThreadPool::globalInstance()->setMaxThreadCount(1);
}

// CPU time of the whole process, every thread included: the work done, whichever thread did it
// and however busy the machine is. Benchmarks that compare with the toolkit time by it
// (UseManualTime), so work the toolkit hands to its own threads counts too.
inline double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Times one iteration's body by processCpuSeconds.
template <class Body>
void timeByCpu(benchmark::State& state, Body&& body)
{
    const double start = processCpuSeconds();
    body();
    state.SetIterationTime(processCpuSeconds() - start);
}

// Times one iteration's body by the wall clock: what users wait for when the work spreads over
// the processor's threads. The process CPU time it took is added to `cpuSeconds`.
template <class Body>
void timeByWall(benchmark::State& state, double& cpuSeconds, Body&& body)
{
    const double cpu = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    body();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    cpuSeconds += processCpuSeconds() - cpu;
}

// The CPU milliseconds per iteration that timeByWall gathered, as a counter beside the time.
inline void reportCpu(benchmark::State& state, double cpuSeconds)
{
    state.counters["cpu_ms"] = benchmark::Counter(cpuSeconds * 1e3, benchmark::Counter::kAvgIterations);
}

// BENCHMARK_MAIN with five repetitions (one in quick mode) and only their statistics shown unless
// the command line says otherwise, then the ratio table.
inline int runWithRatios(int argc, char** argv)
{
    std::vector<char*> args = quickArgs(argc, argv);
    args.pop_back();
    auto given = [&](const char* flag) {
        for (int i = 1; i < argc; ++i)
            if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
                return true;
        return false;
    };
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_display_aggregates_only=true";
    if (!quick() && !given("--benchmark_repetitions"))
        args.push_back(repetitions);
    if (!given("--benchmark_display_aggregates_only") && !given("--benchmark_report_aggregates_only"))
        args.push_back(aggregates);
    args.push_back(nullptr);
    if (!initialize(args))
        return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
