// The older project file .jex: a flat run of 296-byte little-endian records holding one image
// name, the resolution and the index and measurement points of one path, texts in Windows-1252.
// Hides the record layout; the import fills a document, the export writes one. The image window's
// forms are thin wrappers around them (workspace/ProjectWindowIO.cpp).
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QtGlobal>

class ProjectDocument;
class ProjectIOHooks;
class QIODevice;
class TF_SMDI;

inline constexpr int JEX3RecordSize = 296;
inline constexpr int JEX3TextMax = 255; // bytes of a record's text
inline constexpr qint32 JEX3ImageMarker = -9;
inline constexpr qint32 JEX3ResolutionMarker = -10;

// One record as it lies in the file.
struct JEX3Record {
    QString text;       // the file's bytes decoded from Windows-1252
    quint8 kind = 0;    // 0 index point; any other value a measurement point
    double fx = 0.0;    // the positions again as doubles; written, never read
    double fy = 0.0;
    qint32 x = 0;       // canvas pixels, or a marker
    qint32 y = 0;
    qint32 number = 0;  // image: 0; resolution: dots per inch; point: 1-based index-point position

    bool operator==(const JEX3Record&) const = default;
};

enum class JEX3RecordType { Image, Resolution, IndexPoint, MeasurementPoint, Other };

// By the integer position: both markers -9 image, both -10 resolution, both not negative a
// point of the record's kind; anything else is ignored by the reader.
JEX3RecordType RecordType(const JEX3Record& record);

JEX3Record JEX3ImageRecord(const QString& imageFile);
JEX3Record JEX3ResolutionRecord(int dpi);
JEX3Record JEX3PointRecord(bool measurement, QPoint pos, const QString& comment, int number);

// Exactly JEX3RecordSize bytes; the text cut to 255 bytes, reserved and unused bytes 0.
QByteArray EncodeJEX3Record(const JEX3Record& record);
// Reads one record from JEX3RecordSize bytes.
JEX3Record DecodeJEX3Record(const char* bytes);

// How reading the records ended.
struct JEX3ReadOutcome {
    enum Status {
        Read,         // every record read
        Damaged,      // the file ends inside a record, cannot be read on, or does not begin with
                      // an image record; the window holds the complete records before the damage
        ImageMissing, // interactive: the image record names a missing file while the window had
                      // no image; reading stopped there
    };
    Status status = Read;
    int records = 0;      // complete records read
    QString missingImage; // the name a record gives to an image that was not found (ImageMissing
                          // interactive; otherwise reading went on without it)
};

// Reads the records of `source` into the document: the resolution into DPI, the points into its
// first path. The first image record while the document has no image adds that image through the
// hooks when the file exists (the pixels only when interactive). Shows nothing; the import does.
JEX3ReadOutcome ReadJEX3Records(ProjectDocument& doc, QIODevice& source, ProjectIOHooks& hooks, bool interactive);
// The same into the window.
JEX3ReadOutcome ReadJEX3Records(TF_SMDI* window, QIODevice& source, bool interactive);

// How an import into a document ended.
enum class JEX3Import {
    Imported, // the project bears the file's name
    Damaged,  // what was read stays as a new project without a file, marked changed
    Failed,   // nothing to keep (said, but for a file that does not exist)
    Stopped,  // the window went, or an image could not be read (said)
};

// Reads the older project into the document: the images beside the file, then its records. Says
// what the window import says, but for the progress box's start. `missingImage` as below.
JEX3Import ImportJEX3Document(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks, bool interactive,
                              QString* missingImage = nullptr);

// Imports an older project into a new image window and returns it, or none when the file does
// not exist, is damaged before its first complete record, or, interactively, its image is missing
// (the window is then gone and a box has said why). A file damaged further on gives a window with
// what was read, marked changed, as a new project without a file; `damaged`, when
// given, says whether that happened. Interactive shows the progress box and activates the window.
// `missingImage`, when given, receives the name of a recorded image a non-interactive import went
// on without (empty when none was missing).
TF_SMDI* ImportJEX3Project(const QString& fileName, bool interactive, bool* damaged = nullptr,
                           QString* missingImage = nullptr);

// The projects this format holds: exactly one image, which is not a PNG file, and at most one path.
bool FitsJEX3(const ProjectDocument& doc);
bool FitsJEX3(const TF_SMDI* window);
// Shown when a project that does not fit is to be written in this format.
extern const QString JEX3RefusalText;

// The records of the window's first image and first path, as ExportJEX3Project writes them; the
// window must have an image.
QByteArray JEX3ProjectBytes(const ProjectDocument& doc);
QByteArray JEX3ProjectBytes(const TF_SMDI* window);

// Writes the window's first image and path in this format, replacing the file only when all of it
// was written. 0 written, and the project no longer marked changed; -1 not written (an error box
// has said why, an existing file is as it was). Callers refuse projects that do not fit first.
int ExportJEX3Project(ProjectDocument* doc, const QString& fileName);
int ExportJEX3Project(TF_SMDI* window, const QString& fileName);
