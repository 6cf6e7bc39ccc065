// File associations through shared-mime-info and a desktop entry. Both files are written
// atomically and byte for byte the same on every registration, so registering twice changes nothing.
#include "project/FileAssociation.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

const QString desktopFileName = QStringLiteral("jex4.desktop");

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString mimePackage()
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>JEX4_Project_File</comment>\n"
               "    <glob pattern=\"*.jex4\"/>\n"
               "  </mime-type>\n"
               "  <mime-type type=\"%2\">\n"
               "    <comment>JEX_Project_File</comment>\n"
               "    <glob pattern=\"*.jex\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(QLatin1String(Jex4ProjectMimeType), QLatin1String(JexProjectMimeType));
}

QString desktopEntry(const QString& execLine)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=JEX4\n"
                          "Exec=%1\n"
                          "Terminal=false\n"
                          "MimeType=%2;%3;\n")
        .arg(execLine, QLatin1String(Jex4ProjectMimeType), QLatin1String(JexProjectMimeType));
}

bool writeFile(const QString& fileName, const QString& content)
{
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    return writeFileAtomically(fileName, content.toUtf8()) == 0;
}

bool fileContainsAll(const QString& fileName, std::initializer_list<const char*> needles)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.read(1 << 20);
    for (const char* needle : needles)
        if (!content.contains(needle))
            return false;
    return true;
}

// The desktop's caches are a convenience: a tool that is missing, fails or hangs leaves the
// association in place, only noticed later by the desktop.
void runIfInstalled(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace

QString FileAssociationMimePackagePath()
{
    return dataHome() + QStringLiteral("/mime/packages/jex4-project-files.xml");
}

QString FileAssociationDesktopFilePath()
{
    return dataHome() + QStringLiteral("/applications/") + desktopFileName;
}

bool FileAssociationsRegistered()
{
    return fileContainsAll(FileAssociationMimePackagePath(), {Jex4ProjectMimeType, JexProjectMimeType})
        && fileContainsAll(FileAssociationDesktopFilePath(), {Jex4ProjectMimeType, JexProjectMimeType, "Exec="});
}

// Inside double quotes of an Exec value, '"', '`', '$' and '\' take a backslash; then the value's
// own escaping doubles every backslash, and '%' (a field code) is doubled.
QString DesktopExecLine(const QString& programPath)
{
    QString quoted;
    for (const QChar c : programPath) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QString();
        if (c == u'"' || c == u'`' || c == u'$')
            quoted += QLatin1Char('\\');
        if (c == u'\\')
            quoted += QStringLiteral("\\\\");
        else
            quoted += c;
    }
    QString value;
    for (const QChar c : quoted) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return QLatin1Char('"') + value + QStringLiteral("\" %f");
}

bool RegisterFileAssociations(const QString& programPath)
{
    QString program = programPath;
    if (program.isEmpty())
        program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString execLine = DesktopExecLine(program);
    if (program.isEmpty() || execLine.isEmpty())
        return false;
    if (dataHome().isEmpty())
        return false;

    if (!writeFile(FileAssociationMimePackagePath(), mimePackage()))
        return false;
    if (!writeFile(FileAssociationDesktopFilePath(), desktopEntry(execLine)))
        return false;

    runIfInstalled(QStringLiteral("update-mime-database"), {dataHome() + QStringLiteral("/mime")});
    runIfInstalled(QStringLiteral("update-desktop-database"), {dataHome() + QStringLiteral("/applications")});
    runIfInstalled(QStringLiteral("xdg-mime"), {QStringLiteral("default"), desktopFileName,
                                                QLatin1String(Jex4ProjectMimeType), QLatin1String(JexProjectMimeType)});
    return true;
}
