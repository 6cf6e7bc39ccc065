// What a user with a German locale (decimal comma) writes: the exports and the settings store are
// byte for byte what the C locale gives, and a project reads back as it was written. The distance
// of each point in a project file may follow the writer's locale: it is written, never read.
#include "platform/FakeDialogs.h"
#include "platform/Registry.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Export.h"
#include "shell/TF_Progress.h"
#include "support/LocaleScope.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using testhelpers::GermanLocale;
using testhelpers::LocaleScope;

QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class GermanLocaleTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        {
            const LocaleScope german(GermanLocale);
            if (!german.active())
                GTEST_SKIP() << "locale " << GermanLocale << " is not installed (tools/install-deps.sh makes it)";
        }
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        window = project();
    }
    void TearDown() override
    {
        testhelpers::useCLocale();
        window.reset();
        delete F_Progress.data();
        InitSettingVariables();
        WindowValues() = StoredWindowValues();
        ForgetSettingsStoreState();
    }

    FakeDialogs& fake() { return static_cast<FakeDialogs&>(dialogs()); }
    QString file(const QString& name) const { return dir.filePath(name); }

    // Runs `write` under the named locale and gives back what it wrote; C again afterwards.
    QByteArray writtenUnder(const char* locale, const std::function<QByteArray()>& write)
    {
        const LocaleScope scope(locale);
        EXPECT_TRUE(scope.active()) << locale;
        // The switch must reach both the C library and the toolkit, or the comparison proves nothing.
        const QString mark = QString::fromLatin1(std::localeconv()->decimal_point);
        EXPECT_EQ(QLocale().decimalPoint(), mark) << locale;
        EXPECT_EQ(mark, std::strcmp(locale, "C") == 0 ? QStringLiteral(".") : QStringLiteral(",")) << locale;
        return write();
    }

    // Two paths on a slant, so ring widths have fractions in every unit; one ring over a thousand
    // pixels (a thousands separator would show), comments the code page carries.
    std::unique_ptr<TF_SMDI> project()
    {
        auto w = std::make_unique<TF_SMDI>();
        w->ClearData(true, true);
        w->DPI = 1200;
        const struct {
            const char* name;
            const char* guid;
            QList<QPoint> points; // the first is the index point
        } paths[] = {
            {"Eiche", "{11111111-2222-3333-4444-555555555555}", {{10, 20}, {47, 31}, {101, 45}, {1630, 52}, {1702, 61}}},
            {"Buche", "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", {{3, 400}, {9, 413}, {30, 417}}},
        };
        for (const auto& p : paths) {
            auto path = std::make_unique<TPath>();
            path->Name = QString::fromLatin1(p.name);
            path->GUID = QString::fromLatin1(p.guid);
            path->Comment = QStringLiteral("Stammfu\u00df, 1,5 m");
            auto index = std::make_unique<TIndex>();
            index->Pos = p.points.first();
            index->Path = path.get();
            for (qsizetype i = 1; i < p.points.size(); ++i) {
                auto m = std::make_unique<TMeasurement>();
                m->Pos = p.points[i];
                m->Path = path.get();
                m->Index = index.get();
                m->SapWood = i == p.points.size() - 1;
                m->Comment = i == 2 ? QStringLiteral("Frostring \u00e4") : QString();
                index->ObjectList.push_back(std::move(m));
            }
            path->ObjectList.push_back(std::move(index));
            w->PathList.push_back(std::move(path));
        }
        for (const auto& p : w->PathList) {
            TF_Measurements::CountMeasurements(w.get(), p.get());
            RecomputeDistances(p.get());
        }
        return w;
    }

    QTemporaryDir dir;
    std::unique_ptr<TF_SMDI> window;
};

// ---- exports and settings -----------------------------------------------------------------------

enum class Export { Heidelberg, Tucson, Ascii, Coordinates };

QRadioButton* formatButton(const TF_Export& wizard, Export format)
{
    switch (format) {
    case Export::Heidelberg: return wizard.RB_FH;
    case Export::Tucson: return wizard.RB_Tucson;
    case Export::Ascii: return wizard.RB_ASCII;
    case Export::Coordinates: return wizard.RB_CoordinatesASCII;
    }
    return nullptr;
}

TEST_F(GermanLocaleTest, ExportsAreTheSameBytesAsUnderC)
{
    // Heidelberg and Tucson are hundredths of a millimetre and coordinates are canvas pixels
    // whatever the unit; free ASCII is written in the unit the tree shows, so in each of them.
    const struct {
        const char* name;
        Export format;
        int units;
    } cases[] = {
        {"Heidelberg", Export::Heidelberg, 3}, {"Tucson", Export::Tucson, 3},
        {"coordinates", Export::Coordinates, 3},
        {"ASCII cm", Export::Ascii, 0}, {"ASCII mm", Export::Ascii, 1}, {"ASCII 1/10 mm", Export::Ascii, 2},
        {"ASCII 1/100 mm", Export::Ascii, 3}, {"ASCII inch", Export::Ascii, 4}, {"ASCII 1/10 inch", Export::Ascii, 5},
        {"ASCII 1/100 inch", Export::Ascii, 6}, {"ASCII pixels", Export::Ascii, 7},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto exportTo = [&](const QString& target) {
            SettingUnits = c.units;
            TF_Export wizard;
            wizard.MDI = window.get();
            wizard.show();
            formatButton(wizard, c.format)->setChecked(true);
            wizard.B_Continue->click();
            wizard.B_Continue->click();
            fake().answerFile(target);
            wizard.B_Continue->click();
            EXPECT_EQ(wizard.result(), int(QDialog::Accepted));
            return readAll(target);
        };
        const QByteArray inC = writtenUnder("C", [&] { return exportTo(file(QStringLiteral("c%1.txt").arg(n))); });
        const QByteArray inGerman =
            writtenUnder(GermanLocale, [&] { return exportTo(file(QStringLiteral("de%1.txt").arg(n))); });
        ++n;
        ASSERT_FALSE(inC.isEmpty());
        EXPECT_EQ(inGerman, inC);
    }
    EXPECT_TRUE(fake().errors().isEmpty()) << fake().errors().join(QLatin1Char('\n')).toStdString();
}

TEST_F(GermanLocaleTest, SettingsStoreIsTheSameBytesAsUnderC)
{
    auto saveSettings = [] {
        QFile::remove(Registry::storeFileName());
        InitSettingVariables();
        WindowValues() = StoredWindowValues();
        ForgetSettingsStoreState();
        LoadSettings();
        SettingUnits = 5;
        SettingStandardDPI = 2400;
        SaveSettings();
        return readAll(Registry::storeFileName());
    };
    const QByteArray inC = writtenUnder("C", saveSettings);
    const QByteArray inGerman = writtenUnder(GermanLocale, saveSettings);
    ASSERT_FALSE(inC.isEmpty());
    EXPECT_EQ(inGerman, inC);
}

// ---- project file -------------------------------------------------------------------------------

// What the file stores of a project, and the distances the reader recomputes from it.
QStringList describe(const TF_SMDI& w)
{
    auto point = [](const char* kind, const TJEXObject& p) {
        return QStringLiteral("%1 %2 \"%3\" (%4, %5) sapwood %6 distance %7")
            .arg(QLatin1String(kind), p.Name, p.Comment)
            .arg(p.Pos.x())
            .arg(p.Pos.y())
            .arg(p.SapWood)
            .arg(QString::number(p.distance, 'g', 15));
    };
    QStringList lines{QStringLiteral("DPI %1").arg(w.DPI)};
    for (const auto& path : w.PathList) {
        lines << QStringLiteral("path %1 \"%2\" %3").arg(path->Name, path->Comment, path->GUID);
        for (const auto& index : path->ObjectList) {
            lines << point("I", *index);
            for (const auto& m : index->ObjectList)
                lines << point("M", *m);
        }
    }
    return lines;
}

const QRegularExpression& distanceAttribute()
{
    static const QRegularExpression re(QStringLiteral("Distance=\"([^\"]*)\""));
    return re;
}

// The distance texts of a document, in document order.
QStringList distanceTexts(const QByteArray& document)
{
    QStringList texts;
    for (auto it = distanceAttribute().globalMatch(QString::fromUtf8(document)); it.hasNext();)
        texts << it.next().captured(1);
    return texts;
}

TEST_F(GermanLocaleTest, ProjectWrittenUnderGermanReadsBackTheSame)
{
    auto save = [&](const QString& name) {
        EXPECT_EQ(SaveProjectXML(window.get(), name, false), 0);
        return readAll(name);
    };
    const QByteArray inC = writtenUnder("C", [&] { return save(file(QStringLiteral("c.jex4"))); });
    const QByteArray inGerman = writtenUnder(GermanLocale, [&] { return save(file(QStringLiteral("de.jex4"))); });
    ASSERT_FALSE(inC.isEmpty());

    // Apart from the distances the documents are the same; each distance is the point's distance
    // as a number in the writer's locale.
    QString maskedC = QString::fromUtf8(inC), maskedGerman = QString::fromUtf8(inGerman);
    maskedC.replace(distanceAttribute(), QStringLiteral("Distance=\"\""));
    maskedGerman.replace(distanceAttribute(), QStringLiteral("Distance=\"\""));
    EXPECT_EQ(maskedGerman, maskedC);
    QList<double> distances;
    for (const auto& path : window->PathList)
        for (const auto& index : path->ObjectList) {
            distances << index->distance;
            for (const auto& m : index->ObjectList)
                distances << m->distance;
        }
    const QStringList texts = distanceTexts(inGerman);
    ASSERT_EQ(texts.size(), distances.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        bool ok = false;
        double value = QLocale::c().toDouble(texts[i], &ok);
        if (!ok)
            value = QLocale(QLocale::German, QLocale::Germany).toDouble(texts[i], &ok);
        ASSERT_TRUE(ok) << "distance " << i << ": \"" << texts[i].toStdString() << "\" is no number";
        EXPECT_NEAR(value, distances[i], 1e-9 * (1 + distances[i])) << texts[i].toStdString();
    }

    // Read under either locale, also with distances as a writer with a decimal comma leaves them.
    QString commaDistances = QString::fromUtf8(inC);
    for (const QString& t : distanceTexts(inC))
        commaDistances.replace(QStringLiteral("Distance=\"%1\"").arg(t),
                               QStringLiteral("Distance=\"%1\"").arg(QString(t).replace(QLatin1Char('.'), QLatin1Char(','))));
    ASSERT_TRUE(commaDistances.contains(QRegularExpression(QStringLiteral("Distance=\"\\d+,\\d+\""))));
    const QString commaFile = file(QStringLiteral("comma.jex4"));
    {
        QFile f(commaFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(commaDistances.toUtf8());
    }
    const QStringList expected = describe(*window);
    const struct {
        const char* name;
        QString fileName;
        const char* readerLocale;
    } reads[] = {
        {"written and read under German", file(QStringLiteral("de.jex4")), GermanLocale},
        {"written under German, read under C", file(QStringLiteral("de.jex4")), "C"},
        {"decimal-comma distances read under German", commaFile, GermanLocale},
        {"decimal-comma distances read under C", commaFile, "C"},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(r.name);
        const LocaleScope scope(r.readerLocale);
        auto loaded = std::make_unique<TF_SMDI>();
        QStringList notes;
        ASSERT_EQ(LoadProjectXML(loaded.get(), r.fileName, &notes), ProjectRead) << notes.join('\n').toStdString();
        EXPECT_EQ(describe(*loaded), expected);
    }
}

} // namespace
