// Quick mode (JEX4_BENCH_QUICK=1): every benchmark at its smallest size, one repetition, a short
// minimum time. The figures mean nothing then; it shows that each benchmark still runs and reports
// its ratio, so CI can keep them from rotting without paying for a measurement.
// Also here: what every benchmark main does before it hands its command line to the library.
#pragma once

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace bench {

inline bool quick()
{
    static const bool on = [] {
        const char* value = std::getenv("JEX4_BENCH_QUICK");
        return value && *value && std::strcmp(value, "0") != 0;
    }();
    return on;
}

// Registration helpers: the counts and sizes a benchmark is measured with, or the quick one.
inline int repetitions(int count)
{
    return quick() ? 1 : count;
}

inline benchmark::IterationCount iterations(benchmark::IterationCount count)
{
    return quick() ? 1 : count;
}

// Sizes smallest first; for ->ArgsProduct({sizes({...})}) in place of a chain of ->Arg.
inline std::vector<int64_t> sizes(std::initializer_list<int64_t> list)
{
    std::vector<int64_t> v(list);
    if (quick())
        v.resize(1);
    return v;
}

// The command line as the library should see it, ending in a null: in quick mode one repetition
// and a short minimum time unless the command line says otherwise.
inline std::vector<char*> quickArgs(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    auto given = [&](const char* flag) {
        for (int i = 1; i < argc; ++i)
            if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
                return true;
        return false;
    };
    static char repetitions[] = "--benchmark_repetitions=1";
    static char minTime[] = "--benchmark_min_time=0.01";
    if (quick() && !given("--benchmark_repetitions"))
        args.push_back(repetitions);
    if (quick() && !given("--benchmark_min_time"))
        args.push_back(minTime);
    args.push_back(nullptr);
    return args;
}

// The toolkit's application object sets the user's locale, and under a decimal comma the library
// would read "0.01" in its flags as 0 and print its figures with commas. Numbers stay in C.
inline void numbersInC()
{
    std::setlocale(LC_NUMERIC, "C");
}

// benchmark::Initialize with the above; false (after saying so) for an unknown flag.
inline bool initialize(std::vector<char*>& args)
{
    numbersInC();
    int count = int(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

} // namespace bench
