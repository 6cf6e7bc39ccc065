// The project model stands below the windows: its files include nothing of workspace/, shell/,
// acquisition/ or the camera code, and no header of Qt Widgets. A link does not catch this, since
// lld resolves symbols across static libraries in any order.
#include "support/TestHelpers.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct Include {
    QString file;
    int line = 0;
    QString name;
};

// Every #include of the model's sources.
QList<Include> modelIncludes()
{
    static const QRegularExpression directive(QStringLiteral(R"(^\s*#\s*include\s*[<"]([^">]+)[">])"));
    QList<Include> found;
    QDirIterator it(testhelpers::sourceDir() + QStringLiteral("/project"), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        int number = 0;
        while (!file.atEnd()) {
            const QString text = QString::fromUtf8(file.readLine());
            ++number;
            const QRegularExpressionMatch m = directive.match(text);
            if (m.hasMatch())
                found.append({QFileInfo(path).fileName(), number, m.captured(1)});
        }
    }
    return found;
}

// The toolkit's widget headers: <QtWidgets/...> or a class header that only the widget module has.
bool isWidgetHeader(const QString& name, const QString& widgetHeaders)
{
    if (name == u"QtWidgets" || name.startsWith(u"QtWidgets/"))
        return true;
    return !name.contains(u'/') && QFileInfo::exists(widgetHeaders + u'/' + name);
}

} // namespace

TEST(ModelLayer, IncludesNothingOfTheWindowsOrTheDevices)
{
    const QList<Include> includes = modelIncludes();
    // A scan that found nothing would pass whatever the files say.
    ASSERT_GT(includes.size(), 100);

    static const QStringList above = {QStringLiteral("workspace/"), QStringLiteral("shell/"), QStringLiteral("acquisition/"),
                                      QStringLiteral("TCamRemote/"), QStringLiteral("app/")};
    for (const Include& inc : includes)
        for (const QString& folder : above)
            EXPECT_FALSE(inc.name.startsWith(folder))
                << inc.file.toStdString() << ':' << inc.line << " includes " << inc.name.toStdString();
}

TEST(ModelLayer, IncludesNoWidgetHeader)
{
    const QString widgetHeaders = QLibraryInfo::path(QLibraryInfo::HeadersPath) + QStringLiteral("/QtWidgets");
    // The check must know the widget headers, or it would pass whatever the files say.
    ASSERT_TRUE(isWidgetHeader(QStringLiteral("QDialog"), widgetHeaders)) << widgetHeaders.toStdString();
    ASSERT_FALSE(isWidgetHeader(QStringLiteral("QPainter"), widgetHeaders));

    for (const Include& inc : modelIncludes())
        EXPECT_FALSE(isWidgetHeader(inc.name, widgetHeaders))
            << inc.file.toStdString() << ':' << inc.line << " includes " << inc.name.toStdString();
}
