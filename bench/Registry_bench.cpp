// The settings store read as at start-up: a key of 1,000 and of 10,000 integer values opened and
// every value read by name, spelt in other letter case than stored. Reference: QSettings reading
// the same values of the same INI file by their exact stored keys. The ratio of the medians is
// printed at the end.
#include "MedianRatio.h"

#include "platform/Registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

QString valueName(int i)
{
    return QStringLiteral("Setting_Value_%1").arg(i, 5, 10, QLatin1Char('0'));
}

// The store holding n values in the key "Bench", written straight through QSettings once per n.
void storeOf(int n)
{
    static int written = -1;
    if (written == n)
        return;
    const QString file = Registry::storeFileName();
    QFile::remove(file);
    QDir().mkpath(QFileInfo(file).path());
    QSettings settings(file, QSettings::IniFormat);
    for (int i = 0; i < n; ++i)
        settings.setValue(QStringLiteral("Bench/") + valueName(i), QStringLiteral("dword:%1").arg(i, 8, 16, QLatin1Char('0')));
    settings.sync();
    written = n;
}

void BM_RegistryReadAll(benchmark::State& state)
{
    const int n = int(state.range(0));
    storeOf(n);
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << valueName(i).toUpper();
    for (auto _ : state) {
        Registry reg;
        if (!reg.OpenKey(QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4\\bench"), false)) {
            state.SkipWithError("the key is missing");
            break;
        }
        qint64 sum = 0;
        for (const QString& name : names)
            sum += reg.ReadInteger(name);
        if (sum != qint64(n) * (n - 1) / 2)
            state.SkipWithError("a value read wrong");
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RegistryReadAll)->ArgsProduct({bench::sizes({1000, 10000})})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(5));

void BM_Reference_QSettingsReadAll(benchmark::State& state)
{
    const int n = int(state.range(0));
    storeOf(n);
    QStringList keys;
    for (int i = 0; i < n; ++i)
        keys << QStringLiteral("Bench/") + valueName(i);
    for (auto _ : state) {
        QSettings settings(Registry::storeFileName(), QSettings::IniFormat);
        qint64 sum = 0;
        for (const QString& key : keys)
            sum += settings.value(key).toString().mid(6).toUInt(nullptr, 16);
        if (sum != qint64(n) * (n - 1) / 2)
            state.SkipWithError("a value read wrong");
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Reference_QSettingsReadAll)->ArgsProduct({bench::sizes({1000, 10000})})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(5));

} // namespace

int main(int argc, char** argv)
{
    // The store lives in a folder of its own, never in the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const int64_t n : bench::sizes({1000, 10000}))
        pairs.emplace_back("BM_RegistryReadAll/" + std::to_string(n) + "/real_time",
                           "BM_Reference_QSettingsReadAll/" + std::to_string(n) + "/real_time");
    bench::MedianRatioReporter reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
