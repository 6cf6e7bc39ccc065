// Arbitrary bytes as the settings store file, read as at start-up: no crash, no undefined
// behaviour; every stored integer ends inside its range, the resolution above 0, and what is
// saved from there reads back to the same values.
#include "project/Settings.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

std::vector<SettingValue> currentValues()
{
    std::vector<SettingValue> values;
    for (const SettingVariable& v : SettingVariables())
        values.push_back(std::visit([](auto* p) { return SettingValue(*p); }, v.Variable));
    return values;
}

bool inRange(int value, int min, int max)
{
    return value >= min && value <= max;
}

void checkRanges()
{
    for (const SettingVariable& v : SettingVariables())
        if (v.Range && !v.Range->contains(*std::get<int*>(v.Variable)))
            std::abort();
    if (SettingStandardDPI <= 0)
        std::abort();
    const StoredWindowValues& w = WindowValues();
    for (const FormPlacement* p : {&w.MainForm, &w.Measurement.Placement, &w.Zoom.Placement, &w.Notes.Placement,
                                   &w.BirdView.Placement, &w.FileManager.Placement, &w.Tracker.Placement,
                                   &w.Histogram.Placement})
        if (!inRange(p->Width, 0, 32767) || !inRange(p->Height, 0, 32767) || !inRange(p->Top, -32768, 32767)
            || !inRange(p->Left, -32768, 32767))
            std::abort();
    CreateSeriesValues series;
    LoadCreateSeriesSettings(series);
    if (!inRange(series.Placement.Width, 0, 32767) || !inRange(series.Placement.Height, 0, 32767))
        std::abort();
}

QString storeFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    // The store lives in a folder of its own, never in the user's.
    static QTemporaryDir* config = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config->path()));
    static int qtArgc = 1;
    static char name[] = "settings_fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QApplication(qtArgc, qtArgv);
    storeFile = Registry::storeFileName();
    QDir().mkpath(QFileInfo(storeFile).path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile f(storeFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    ForgetSettingsStoreState();
    InitSettingVariables();
    WindowValues() = StoredWindowValues();
    LoadSettings();
    checkRanges();

    // A store read as a whole is written back; reading that gives what the program held.
    if (SettingsStoreWritable()) {
        const std::vector<SettingValue> loaded = currentValues();
        SaveSettings();
        ForgetSettingsStoreState();
        InitSettingVariables();
        LoadSettings();
        checkRanges();
        if (currentValues() != loaded)
            std::abort();
    }
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
