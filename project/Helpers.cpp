// Shared routines that need no image buffer; the picture-file and pixel routines live in
// HelpersImage.cpp so that code without images links without the image library's pixel code.
#include "project/Helpers.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUuid>

#include <grp.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::function<bool()>& userAdminProbe()
{
    static std::function<bool()> probe;
    return probe;
}

// Names of the groups of the calling process, the effective group first; false when they cannot
// be read.
bool currentGroupNames(QStringList& names)
{
    const int count = getgroups(0, nullptr);
    if (count < 0)
        return false;
    std::vector<gid_t> ids(size_t(count) + 1);
    const int got = getgroups(count, ids.data());
    if (got < 0)
        return false;
    ids.resize(size_t(got));
    ids.insert(ids.begin(), getegid());
    for (gid_t id : ids) {
        // getgrgid_r with a growing buffer: group entries with many members exceed any fixed size.
        std::vector<char> buffer(1024);
        group entry {};
        group* found = nullptr;
        int rc;
        while ((rc = getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found)) == ERANGE && buffer.size() < (1u << 20))
            buffer.resize(buffer.size() * 2);
        if (rc == 0 && found && found->gr_name)
            names.append(QString::fromLocal8Bit(found->gr_name));
    }
    return true;
}

const QChar quoteChar = QLatin1Char('"');

bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= ' ';
}

// A double-quoted part starting at `pos` (on the opening quote); doubled quotes inside stand for
// one, and a missing closing quote takes the rest. `pos` ends after the closing quote.
QString extractQuoted(const QString& text, qsizetype& pos, qsizetype end)
{
    QString result;
    ++pos;
    while (pos < end) {
        const QChar c = text.at(pos);
        if (c == quoteChar) {
            if (pos + 1 < end && text.at(pos + 1) == quoteChar) {
                result.append(quoteChar);
                pos += 2;
                continue;
            }
            ++pos;
            return result;
        }
        result.append(c);
        ++pos;
    }
    return result;
}

} // namespace

// --- Accounts, processes, windows and keys ----------------------------------------------------

bool IsAdminAccount(uint effectiveUserId, const QStringList& groupNames)
{
    if (effectiveUserId == 0)
        return true;
    return groupNames.contains(QStringLiteral("sudo")) || groupNames.contains(QStringLiteral("wheel"));
}

bool IsUserAdmin()
{
    if (const auto& probe = userAdminProbe())
        return probe();
    QStringList names;
    if (geteuid() != 0 && !currentGroupNames(names))
        return false;
    return IsAdminAccount(geteuid(), names);
}

void SetUserAdminProbe(std::function<bool()> probe)
{
    userAdminProbe() = std::move(probe);
}

// Reads the pipe while the tool runs, so a tool with much output never blocks on a full pipe,
// and keeps reading until the tool has ended and its last bytes are in.
int RunAndCapture(const QString& commandLine, const std::function<void(const QString&)>& append)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return -1;
    const QString program = arguments.takeFirst();
    return RunAndCapture(program, arguments, append, false);
}

int RunAndCapture(const QString& program, const QStringList& arguments,
                  const std::function<void(const QString&)>& append, bool withErrors)
{
    if (program.isEmpty())
        return -1;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    if (withErrors)
        process.setProcessChannelMode(QProcess::MergedChannels);
    else
        process.setStandardErrorFile(QProcess::nullDevice());
    // The decoder keeps a character that is split between two reads.
    QStringDecoder decoder(QStringDecoder::System);
    const auto drain = [&] {
        const QByteArray bytes = process.readAllStandardOutput();
        if (bytes.isEmpty())
            return;
        const QString text = decoder.decode(bytes);
        if (!text.isEmpty() && append)
            append(text);
    };

    QEventLoop loop;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, drain);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart || error == QProcess::Crashed)
            loop.quit();
    });

    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return -1;
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    // Whatever arrived between the last notification and the end.
    process.waitForFinished(-1);
    drain();
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

bool IsCtrlDown()
{
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

bool IsAltDown()
{
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
}

int MessageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText, bool& checked)
{
    return dialogs().messageDlgWithCheckBox(caption, text, checkText, checked) == mrYes ? mrYes : mrNo;
}

// --- Folders and files ------------------------------------------------------------------------

QString GetMyDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString GetDataFolder()
{
    return GetMyDocumentsFolder() + QStringLiteral("/JEX4");
}

QString GetTempFolder()
{
    // Made once per run with owner-only access; its destructor removes it at exit.
    static const std::unique_ptr<QTemporaryDir> folder = [] {
        auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/jex4-XXXXXX"));
        if (!dir->isValid()) {
            const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
            QDir().mkpath(cache);
            dir = std::make_unique<QTemporaryDir>(cache + QStringLiteral("/tmp-XXXXXX"));
        }
        return dir;
    }();
    if (!folder->isValid())
        return QString();
    return IncludeTrailingPathDelimiter(folder->path());
}

bool CanWriteFile(const QString& fileName, bool showError)
{
    bool ok = false;
    if (!fileName.isEmpty()) {
        QFile file(fileName);
        if (QFileInfo::exists(fileName)) {
            ok = file.open(QIODevice::ReadWrite); // no truncation: the content stays
        } else if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            ok = file.remove();
        }
    }
    if (!ok && showError)
        MessageDlg(QStringLiteral("An error occured while saving to ") + fileName
                       + QStringLiteral("\r\n\r\nPlease make sure you have write permissions for this file/folder."),
                   mtError, TMsgDlgButtons{mbOK});
    return ok;
}

bool CanWriteFolder(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    QTemporaryFile probe(IncludeTrailingPathDelimiter(folder) + QStringLiteral("DAXXXXXX"));
    if (!probe.open())
        return false;
    return probe.remove();
}

QString FileBaseName(const QString& path)
{
    return ChangeFileExt(ExtractFileName(path), QString());
}

bool IsImageFileName(const QString& fileName)
{
    static const QStringList extensions = {QStringLiteral(".JPG"), QStringLiteral(".BMP"), QStringLiteral(".PNG"),
                                           QStringLiteral(".TIF")};
    return extensions.contains(ExtractFileExt(fileName).toUpper());
}

bool GetFileVersionParts(const QString& fileName, quint16* major, quint16* minor, quint16* release, quint16* build)
{
    const QString own = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString asked = QFileInfo(fileName).canonicalFilePath();
    if (own.isEmpty() || asked != own)
        return false;
    if (major)
        *major = VersionMajor;
    if (minor)
        *minor = VersionMinor;
    if (release)
        *release = 0;
    if (build)
        *build = VersionBuild;
    return true;
}

QString ProgramVersionText()
{
    return QStringLiteral("JEX %1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionBuild);
}

bool IsShellFolder(const QFileSystemModel& model, const QModelIndex& index)
{
    return model.isDir(index);
}

// --- Texts ------------------------------------------------------------------------------------

void SplitDelimited(QChar delimiter, const QString& text, QStringList& list)
{
    list.clear();
    // A NUL ends the text, as it ends the character string the rule was made for.
    qsizetype end = text.indexOf(QChar(u'\0'));
    if (end < 0)
        end = text.size();
    qsizetype pos = 0;
    const auto skipBlanks = [&] {
        while (pos < end && isBlank(text.at(pos)))
            ++pos;
    };
    skipBlanks();
    while (pos < end) {
        if (text.at(pos) == quoteChar) {
            list.append(extractQuoted(text, pos, end));
        } else {
            const qsizetype start = pos;
            while (pos < end && text.at(pos).unicode() > ' ' && text.at(pos) != delimiter)
                ++pos;
            list.append(text.mid(start, pos - start));
        }
        skipBlanks();
        if (pos < end && text.at(pos) == delimiter) {
            if (pos + 1 == end)
                list.append(QString());
            ++pos;
            skipBlanks();
        }
    }
}

QString ShortenText(const QString& text, int max)
{
    if (text.size() <= max)
        return text;
    // QString::left and right take a negative count as "everything"; here it means nothing.
    const int head = std::max(0, max / 2 - 4);
    const int tail = std::max(0, max / 2 + 1);
    return text.left(head) + QStringLiteral("...") + text.right(tail);
}

QString NewGUIDString()
{
    const QUuid id = QUuid::createUuid();
    if (id.isNull())
        return QString();
    return id.toString(QUuid::WithBraces).toUpper();
}

// --- Geometry ---------------------------------------------------------------------------------

double PointDistance(QPoint a, QPoint b)
{
    // Differences of far-apart canvas points overflow 32 bits when squared.
    const double dx = double(qint64(b.x()) - a.x());
    const double dy = double(qint64(b.y()) - a.y());
    return std::sqrt(dx * dx + dy * dy);
}

double PointDistanceF(QPointF a, QPointF b)
{
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double sum = dx * dx + dy * dy;
    if (!(sum >= 0))
        return -1;
    return std::sqrt(sum);
}

std::pair<QPoint, QPoint> PerpendicularEnds(int x1, int y1, int x2, int y2, double d)
{
    const double dx = double(x2) - x1;
    const double dy = double(y2) - y1;
    double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0)
        length = 1;
    const double ox = d * dy / length;
    const double oy = d * dx / length;
    return {QPoint(Round(x1 - ox), Round(y1 + oy)), QPoint(Round(x1 + ox), Round(y1 - oy))};
}

void TextOutRotated(QPainter* canvas, int angle, int x, int y, const QString& text, Qt::Alignment align)
{
    if (!canvas || text.isEmpty())
        return;
    const QFontMetricsF metrics(canvas->font(), canvas->device());
    qreal dx = 0;
    if (align & Qt::AlignRight)
        dx = -metrics.horizontalAdvance(text);
    else if (align & Qt::AlignHCenter)
        dx = -metrics.horizontalAdvance(text) / 2;
    qreal dy = metrics.ascent(); // top: the text hangs below the reference point
    if (align & Qt::AlignBaseline)
        dy = 0;
    else if (align & Qt::AlignBottom)
        dy = -metrics.descent();

    canvas->save();
    canvas->translate(x, y);
    // GDI's escapement turns counter-clockwise on screen; Qt's rotation with y downward turns clockwise.
    canvas->rotate(-angle);
    canvas->drawText(QPointF(dx, dy), text);
    canvas->restore();
}

// --- Image buffers ----------------------------------------------------------------------------

int ResamplerIndex(int setting, int defaultKernel)
{
    switch (setting) {
    case 1:
        return 0;
    case 2:
        return 11;
    case 3:
        return 14;
    default:
        return defaultKernel;
    }
}

// --- Measurement records ---------------------------------------------------------------------

int CollectMeasurementData(const TPath& path, std::vector<std::unique_ptr<TMeasurementData>>& list,
                           const std::function<double(double)>& GetDistance)
{
    for (const auto& index : path.ObjectList)
        for (const auto& point : index->ObjectList) {
            auto record = std::make_unique<TMeasurementData>();
            record->Distance = Round(point->distance);
            record->UnitDistance = Round(GetDistance ? GetDistance(point->distance) : point->distance);
            record->Info = point->Comment;
            list.push_back(std::move(record));
        }
    return int(list.size());
}
