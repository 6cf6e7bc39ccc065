#include "project/JEX3Project.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/ErrorLog.h"
#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtEndian>

#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Offsets inside a record.
constexpr int TextLengthAt = 0;
constexpr int TextAt = 1;
constexpr int KindAt = 256;
constexpr int FxAt = 264;
constexpr int FyAt = 272;
constexpr int XAt = 280;
constexpr int YAt = 284;
constexpr int NumberAt = 288;

template <class T>
T readLE(const char* bytes, int at)
{
    return qFromLittleEndian<T>(bytes + at);
}

double readDouble(const char* bytes, int at)
{
    const quint64 raw = readLE<quint64>(bytes, at);
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

void writeDouble(char* bytes, int at, double value)
{
    quint64 raw;
    std::memcpy(&raw, &value, sizeof raw);
    qToLittleEndian(raw, bytes + at);
}

// The file beside `fileName` with the same name and this extension. Older files come from a
// system that ignored letter case, so "CORE.JPG" beside "CORE.JEX" counts as well.
QString besideWithExtension(const QString& fileName, const QString& extension)
{
    const QString exact = ChangeFileExt(fileName, extension);
    if (QFileInfo(exact).isFile())
        return exact;
    const QFileInfo wanted(exact);
    const QDir folder = wanted.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (SameText(name, wanted.fileName()))
            return folder.filePath(name);
    return QString();
}

TPath* firstPath(ProjectDocument& doc)
{
    if (doc.PathList.empty()) {
        auto path = std::make_unique<TPath>();
        path->Name = QStringLiteral("Path 1");
        path->expanded = true;
        doc.PathList.push_back(std::move(path));
    }
    return doc.PathList.front().get();
}

// The document went with its window, or the window is closing.
bool gone(const QPointer<ProjectDocument>& doc, ProjectIOHooks& hooks)
{
    return !doc || hooks.cancelled();
}

QString damagedText(const QString& fileName)
{
    return QStringLiteral("The file ") + fileName + QStringLiteral(" is damaged!");
}

} // namespace

const QString JEX3RefusalText = QStringLiteral(
    "Can\u00b4t save this project to the selected file format!\r\n\r\nReasons for this error can be:\r\n"
    " * Wrong image type (png files are not supported by JEX3)\r\n * Project contains multiple (stitched) "
    "images\r\n * Project contains multiple paths\r\n\r\nPlease save the project to the native JEX4 project "
    "file format instead!");

JEX3RecordType RecordType(const JEX3Record& record)
{
    if (record.x == JEX3ImageMarker && record.y == JEX3ImageMarker)
        return JEX3RecordType::Image;
    if (record.x == JEX3ResolutionMarker && record.y == JEX3ResolutionMarker)
        return JEX3RecordType::Resolution;
    if (record.x >= 0 && record.y >= 0)
        return record.kind == 0 ? JEX3RecordType::IndexPoint : JEX3RecordType::MeasurementPoint;
    return JEX3RecordType::Other;
}

JEX3Record JEX3ImageRecord(const QString& imageFile)
{
    JEX3Record r;
    r.text = imageFile;
    r.x = r.y = JEX3ImageMarker;
    return r;
}

JEX3Record JEX3ResolutionRecord(int dpi)
{
    JEX3Record r;
    r.x = r.y = JEX3ResolutionMarker;
    r.number = dpi;
    return r;
}

JEX3Record JEX3PointRecord(bool measurement, QPoint pos, const QString& comment, int number)
{
    JEX3Record r;
    r.text = comment;
    r.kind = measurement ? 1 : 0;
    r.x = pos.x();
    r.y = pos.y();
    r.fx = pos.x();
    r.fy = pos.y();
    r.number = number;
    return r;
}

QByteArray EncodeJEX3Record(const JEX3Record& record)
{
    QByteArray bytes(JEX3RecordSize, '\0');
    char* b = bytes.data();
    const QByteArray text = Cp1252::fromUnicode(record.text).left(JEX3TextMax);
    b[TextLengthAt] = char(quint8(text.size()));
    std::memcpy(b + TextAt, text.constData(), size_t(text.size()));
    b[KindAt] = char(record.kind);
    writeDouble(b, FxAt, record.fx);
    writeDouble(b, FyAt, record.fy);
    qToLittleEndian(record.x, b + XAt);
    qToLittleEndian(record.y, b + YAt);
    qToLittleEndian(record.number, b + NumberAt);
    return bytes;
}

JEX3Record DecodeJEX3Record(const char* bytes)
{
    JEX3Record r;
    // The length is one byte, so the text never reaches past its 255-byte field.
    const int length = quint8(bytes[TextLengthAt]);
    r.text = Cp1252::toUnicode(QByteArray(bytes + TextAt, length));
    r.kind = quint8(bytes[KindAt]);
    r.fx = readDouble(bytes, FxAt);
    r.fy = readDouble(bytes, FyAt);
    r.x = readLE<qint32>(bytes, XAt);
    r.y = readLE<qint32>(bytes, YAt);
    r.number = readLE<qint32>(bytes, NumberAt);
    return r;
}

JEX3ReadOutcome ReadJEX3Records(ProjectDocument& doc, QIODevice& source, ProjectIOHooks& hooks, bool interactive)
{
    QPointer<ProjectDocument> guard(&doc);
    JEX3ReadOutcome outcome;
    TPath* path = firstPath(doc);
    TIndex* index = nullptr; // the index point measurement points follow; none before the first
    char bytes[JEX3RecordSize];

    for (;;) {
        qint64 got = 0;
        bool readError = false;
        while (got < JEX3RecordSize) {
            const qint64 n = source.read(bytes + got, JEX3RecordSize - got);
            if (n < 0)
                readError = true;
            if (n <= 0)
                break;
            got += n;
        }
        if (got == 0 && !readError)
            break; // the end, between two records
        if (got < JEX3RecordSize) {
            outcome.status = JEX3ReadOutcome::Damaged;
            break;
        }
        const JEX3Record record = DecodeJEX3Record(bytes);
        const JEX3RecordType type = RecordType(record);
        // Every file of this format begins with its image record; one that does not is something else.
        if (outcome.records == 0 && type != JEX3RecordType::Image) {
            outcome.status = JEX3ReadOutcome::Damaged;
            break;
        }
        ++outcome.records;

        switch (type) {
        case JEX3RecordType::Image:
            if (!doc.StitchList.empty())
                break;
            if (QFileInfo(record.text).isFile()) {
                // Not in the older program, whose image always lay beside the file: a project
                // written here names its image wherever it is, and would come back without it.
                if (!hooks.addImage(doc, record.text, interactive) || gone(guard, hooks))
                    return outcome; // an image that could not be read closed the empty window
                path = firstPath(doc);
            } else {
                outcome.missingImage = record.text;
                if (interactive) {
                    outcome.status = JEX3ReadOutcome::ImageMissing;
                    return outcome;
                }
            }
            break;
        case JEX3RecordType::Resolution:
            if (record.number <= 0) {
                ErrorLog::AddLog(3, QStringLiteral("Project file %1: a resolution of %2 dpi was read as %3 dpi.")
                                           .arg(doc.Project->Filename)
                                           .arg(record.number)
                                           .arg(DefaultStandardDPI));
                doc.DPI = DefaultStandardDPI;
            } else {
                doc.DPI = record.number;
            }
            break;
        case JEX3RecordType::IndexPoint: {
            auto created = std::make_unique<TIndex>();
            index = created.get();
            index->Comment = record.text;
            index->Pos = QPoint(record.x, record.y);
            index->FirstVisible = true;
            index->Path = path;
            path->ObjectList.push_back(std::move(created));
            break;
        }
        case JEX3RecordType::MeasurementPoint: {
            if (!index)
                break;
            auto created = std::make_unique<TMeasurement>();
            created->Comment = record.text;
            created->Pos = QPoint(record.x, record.y);
            created->FirstVisible = true;
            created->Path = path;
            created->Index = index;
            index->ObjectList.push_back(std::move(created));
            break;
        }
        case JEX3RecordType::Other:
            break;
        }
    }

    if (outcome.records == 0)
        outcome.status = JEX3ReadOutcome::Damaged; // not even an image record: no project of this kind
    doc.CurrentPath = path;
    doc.CurrentIndex = index;
    // Names are derived from the order and widths from the positions.
    ProjectDocument::countMeasurements(path);
    RecomputeDistances(path);
    return outcome;
}

JEX3Import ImportJEX3Document(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks, bool interactive,
                              QString* missingImage)
{
    if (missingImage)
        missingImage->clear();
    if (!QFileInfo(fileName).isFile()) {
        hooks.end();
        return JEX3Import::Failed;
    }
    QPointer<ProjectDocument> guard(&doc);
    doc.Project->Filename = fileName;

    // The older program kept the image beside the project under the project's name.
    for (const QString& extension : {QStringLiteral(".jpg"), QStringLiteral(".bmp")}) {
        const QString image = !gone(guard, hooks) ? besideWithExtension(fileName, extension) : QString();
        if (image.isEmpty())
            continue;
        if (!hooks.addImage(doc, image, interactive))
            break;
        hooks.step(QString());
    }
    if (gone(guard, hooks)) { // an image that could not be read closed the window, and said so
        hooks.end();
        return JEX3Import::Stopped;
    }

    JEX3ReadOutcome outcome;
    QString failure;
    QFile file(fileName);
    try {
        if (file.open(QIODevice::ReadOnly))
            outcome = ReadJEX3Records(doc, file, hooks, interactive);
        else
            outcome.status = JEX3ReadOutcome::Damaged;
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    file.close();
    hooks.end();
    if (gone(guard, hooks))
        return JEX3Import::Stopped;
    if (missingImage)
        *missingImage = outcome.missingImage;

    if (!failure.isEmpty()) {
        hooks.abandoned();
        ErrorLog::Error(QStringLiteral("The file ") + fileName + QStringLiteral(" could not be imported.\r\n\r\n")
                               + failure,
                           true);
        return JEX3Import::Failed;
    }
    if (outcome.status == JEX3ReadOutcome::ImageMissing) {
        hooks.abandoned();
        ShowMessage(QStringLiteral("Can\u00b4t find image file ") + outcome.missingImage + QStringLiteral("!"));
        return JEX3Import::Failed;
    }
    if (outcome.status == JEX3ReadOutcome::Damaged) {
        ErrorLog::AddLog(0, damagedText(fileName));
        if (outcome.records == 0) {
            // Nothing of the file could be read: no window poses as it.
            hooks.abandoned();
            ShowMessage(damagedText(fileName));
            return JEX3Import::Failed;
        }
        ShowMessage(damagedText(fileName));
        if (gone(guard, hooks))
            return JEX3Import::Stopped;
        // What was read stays, as a new project: saving it must not replace the damaged file
        // with the part that could be read.
        doc.Project->Name = hooks.newProjectName();
        doc.Project->Filename.clear();
        doc.Project->Changed = true;
        return JEX3Import::Damaged;
    }
    doc.Project->Filename = fileName;
    doc.Project->Name = fileName;
    return JEX3Import::Imported;
}

bool FitsJEX3(const ProjectDocument& doc)
{
    return doc.StitchList.size() == 1 && doc.PathList.size() <= 1
        && ExtractFileExt(doc.StitchList.front()->filename).toLower() != QStringLiteral(".png");
}

QByteArray JEX3ProjectBytes(const ProjectDocument& doc)
{
    Q_ASSERT(!doc.StitchList.empty());
    QByteArray bytes;
    bytes += EncodeJEX3Record(JEX3ImageRecord(doc.StitchList.front()->filename));
    bytes += EncodeJEX3Record(JEX3ResolutionRecord(doc.DPI));
    if (doc.PathList.empty())
        return bytes;
    int n = 0;
    for (const auto& index : doc.PathList.front()->ObjectList) {
        ++n;
        bytes += EncodeJEX3Record(JEX3PointRecord(false, index->Pos, index->Comment, n));
        for (const auto& m : index->ObjectList)
            bytes += EncodeJEX3Record(JEX3PointRecord(true, m->Pos, m->Comment, n));
    }
    return bytes;
}

int ExportJEX3Project(ProjectDocument* doc, const QString& fileName)
{
    QString failure;
    if (!doc || doc->StitchList.empty()) {
        failure = QStringLiteral("The project has no image.");
    } else {
        try {
            const QByteArray bytes = JEX3ProjectBytes(*doc);
            writeFileAtomically(fileName, bytes, &failure);
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("Out of memory.");
        }
    }
    if (failure.isEmpty()) {
        doc->Project->Changed = false;
        return 0;
    }
    ErrorLog::Error(QStringLiteral("An error occured while saving to ") + fileName + QStringLiteral("\r\n\r\n") + failure,
                       true);
    return -1;
}
