#include "project/JEX3Project.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "project/TF_ErrorLog.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
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

TPath* firstPath(TF_SMDI* window)
{
    if (window->PathList.empty()) {
        auto path = std::make_unique<TPath>();
        path->Name = QStringLiteral("Path 1");
        path->expanded = true;
        window->PathList.push_back(std::move(path));
    }
    return window->PathList.front().get();
}

// Only the interactive import shows the progress box; a batch run's box stays up.
void hideProgress(bool interactive)
{
    if (interactive && F_Progress)
        F_Progress->hide(); // it stays on top and would hide the boxes below
}

// Closed, or closing: a window that closed itself is deleted only once events run.
bool gone(const QPointer<TF_SMDI>& w)
{
    return !w || w->Closing;
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

JEX3ReadOutcome ReadJEX3Records(TF_SMDI* window, QIODevice& source, bool interactive)
{
    Q_ASSERT(window);
    QPointer<TF_SMDI> guard(window);
    JEX3ReadOutcome outcome;
    TPath* path = firstPath(window);
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
            if (!window->StitchList.empty())
                break;
            if (QFileInfo(record.text).isFile()) {
                // Not in the older program, whose image always lay beside the file: a project
                // written here names its image wherever it is, and would come back without it.
                window->LoadImage(record.text, interactive);
                if (gone(guard))
                    return outcome; // an image that could not be read closed the empty window
                path = firstPath(window);
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
                TF_ErrorLog::AddLog(3, QStringLiteral("Project file %1: a resolution of %2 dpi was read as %3 dpi.")
                                           .arg(window->Project->Filename)
                                           .arg(record.number)
                                           .arg(DefaultStandardDPI));
                window->DPI = DefaultStandardDPI;
            } else {
                window->DPI = record.number;
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
    window->CurrentPath = path;
    window->CurrentIndex = index;
    // Names are derived from the order and widths from the positions.
    TF_Measurements::CountMeasurements(window, path);
    RecomputeDistances(path);
    return outcome;
}

TF_SMDI* ImportJEX3Project(const QString& fileName, bool interactive, bool* damaged, QString* missingImage)
{
    if (damaged)
        *damaged = false;
    if (missingImage)
        missingImage->clear();
    if (interactive && F_Progress) {
        F_Progress->L_1->setText(QStringLiteral("Importing JEX3 project ") + ShortenText(fileName, 40));
        F_Progress->L_2->clear();
        F_Progress->PB->setRange(0, 2);
        F_Progress->PB->setValue(0);
        F_Progress->Tag = 0;
        F_Progress->show();
    }
    if (!QFileInfo(fileName).isFile()) {
        hideProgress(interactive);
        return nullptr;
    }

    QPointer<TF_SMDI> w = CreateImageWindow();
    w->Project->Filename = fileName;
    QCoreApplication::processEvents();

    // The older program kept the image beside the project under the project's name.
    for (const QString& extension : {QStringLiteral(".jpg"), QStringLiteral(".bmp")}) {
        const QString image = !gone(w) ? besideWithExtension(fileName, extension) : QString();
        if (image.isEmpty())
            continue;
        w->LoadImage(image, interactive);
        if (interactive && F_Progress)
            F_Progress->DoStep();
    }
    if (gone(w)) { // an image that could not be read closed the window, and said so
        hideProgress(interactive);
        return nullptr;
    }

    JEX3ReadOutcome outcome;
    QString failure;
    QFile file(fileName);
    try {
        if (file.open(QIODevice::ReadOnly))
            outcome = ReadJEX3Records(w, file, interactive);
        else
            outcome.status = JEX3ReadOutcome::Damaged;
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    file.close();
    hideProgress(interactive);
    if (gone(w))
        return nullptr;
    if (missingImage)
        *missingImage = outcome.missingImage;

    if (!failure.isEmpty()) {
        DiscardImageWindow(w);
        TF_ErrorLog::Error(QStringLiteral("The file ") + fileName + QStringLiteral(" could not be imported.\r\n\r\n")
                               + failure,
                           true);
        return nullptr;
    }
    if (outcome.status == JEX3ReadOutcome::ImageMissing) {
        DiscardImageWindow(w);
        ShowMessage(QStringLiteral("Can\u00b4t find image file ") + outcome.missingImage + QStringLiteral("!"));
        return nullptr;
    }
    if (outcome.status == JEX3ReadOutcome::Damaged) {
        TF_ErrorLog::AddLog(0, damagedText(fileName));
        if (outcome.records == 0) {
            // Nothing of the file could be read: no window poses as it.
            DiscardImageWindow(w);
            ShowMessage(damagedText(fileName));
            return nullptr;
        }
        ShowMessage(damagedText(fileName));
        if (gone(w))
            return nullptr;
        if (damaged)
            *damaged = true;
        // What was read stays, as a new project: saving it must not replace the damaged file
        // with the part that could be read.
        w->Project->Name = NewProjectName(w);
        w->Project->Filename.clear();
        w->Project->Changed = true;
    } else {
        w->Project->Filename = fileName;
        w->Project->Name = fileName;
    }

    if (interactive) {
        w->UpdateArea();
        w->SmoothDraw(true);
        w->FormActivate();
        if (w)
            w->setFocus();
        if (w)
            w->SetCaption();
    } else {
        w->SetCaption();
    }
    return w;
}

bool FitsJEX3(const TF_SMDI* window)
{
    return window && window->StitchList.size() == 1 && window->PathList.size() <= 1
        && ExtractFileExt(window->StitchList.front()->filename).toLower() != QStringLiteral(".png");
}

QByteArray JEX3ProjectBytes(const TF_SMDI* window)
{
    Q_ASSERT(window && !window->StitchList.empty());
    QByteArray bytes;
    bytes += EncodeJEX3Record(JEX3ImageRecord(window->StitchList.front()->filename));
    bytes += EncodeJEX3Record(JEX3ResolutionRecord(window->DPI));
    if (window->PathList.empty())
        return bytes;
    int n = 0;
    for (const auto& index : window->PathList.front()->ObjectList) {
        ++n;
        bytes += EncodeJEX3Record(JEX3PointRecord(false, index->Pos, index->Comment, n));
        for (const auto& m : index->ObjectList)
            bytes += EncodeJEX3Record(JEX3PointRecord(true, m->Pos, m->Comment, n));
    }
    return bytes;
}

int ExportJEX3Project(TF_SMDI* window, const QString& fileName)
{
    QString failure;
    if (!window || window->StitchList.empty()) {
        failure = QStringLiteral("The project has no image.");
    } else {
        try {
            const QByteArray bytes = JEX3ProjectBytes(window);
            writeFileAtomically(fileName, bytes, &failure);
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("Out of memory.");
        }
    }
    if (failure.isEmpty()) {
        window->Project->Changed = false;
        return 0;
    }
    TF_ErrorLog::Error(QStringLiteral("An error occured while saving to ") + fileName + QStringLiteral("\r\n\r\n") + failure,
                       true);
    return -1;
}
