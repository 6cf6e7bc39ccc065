// Free routines shared across the program: file and folder tests, the data and temporary folders,
// text shortening, geometry, identifiers, picture files for image buffers, version text, an outside
// program run with its output captured, and key states.
// They keep no state of their own, apart from the private temporary folder and the test hooks.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

class QFileSystemModel;
class QModelIndex;
class QPainter;
class TFastDIB;
class TMeasurementData;
class TPath;

// --- Accounts, processes, windows and keys ----------------------------------------------------

// True when the user may install programs: root, or a member of the group "sudo" or "wheel".
// Any failure to read the groups gives false.
bool IsUserAdmin();
// The rule behind IsUserAdmin, for an effective user id and the names of the user's groups.
bool IsAdminAccount(uint effectiveUserId, const QStringList& groupNames);
// Tests put an answer in place; an empty function goes back to the real check.
void SetUserAdminProbe(std::function<bool()> probe);

// Starts the command line (program and arguments, double quotes group) and appends what it writes
// on standard output to `append` while it runs; events are processed meanwhile. Standard input is
// empty and standard error is discarded. Returns the exit code, or -1 when the program could not
// be started or crashed.
int RunAndCapture(const QString& commandLine, const std::function<void(const QString&)>& append);
// The same with the program and its arguments apart, so that no name is split or unquoted; with
// `withErrors` standard error is appended as well, in the order the program writes.
int RunAndCapture(const QString& program, const QStringList& arguments,
                  const std::function<void(const QString&)>& append, bool withErrors = false);

// The Ctrl and Alt keys as the keyboard reports them now.
bool IsCtrlDown();
bool IsAltDown();

// A warning with Yes and No and a check box under the text (the update prompt). Returns mrYes
// when Yes was pressed and mrNo otherwise; `checked` gives and receives the check box's state.
int MessageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText, bool& checked);

// --- Folders and files ------------------------------------------------------------------------

// The user's documents folder.
QString GetMyDocumentsFolder();
// The per-user data folder: the documents folder followed by "/JEX4".
QString GetDataFolder();
// A folder for temporary files that only this user and this run of the program use, with its
// trailing '/'. Made on first use and removed with everything in it when the program ends; empty
// when none could be made. Temporary files never live under fixed names in a shared folder.
QString GetTempFolder();

// Whether the file can be written: an existing file is opened for reading and writing (its content
// stays), a missing one is created and removed again. On failure and with `showError` an error box
// tells the user.
bool CanWriteFile(const QString& fileName, bool showError);
// Whether a new file can be made in the folder: one is created and deleted.
bool CanWriteFolder(const QString& folder);

// The file name without folder ('/' or '\') and extension.
QString FileBaseName(const QString& path);

// ".JPG", ".BMP", ".PNG" and ".TIF" in any letter case; not ".jpeg" or ".tiff".
bool IsImageFileName(const QString& fileName);

// Version of a program file as major.minor.release.build. Only the program's own file carries a
// version (the build's constants); any other file gives false. Each out-pointer may be null.
bool GetFileVersionParts(const QString& fileName, quint16* major, quint16* minor, quint16* release, quint16* build);

// "JEX " followed by VersionMajor.VersionMinor.VersionBuild.
QString ProgramVersionText();

// An item of the file manager's folder tree is a folder.
bool IsShellFolder(const QFileSystemModel& model, const QModelIndex& index);

// --- Texts ------------------------------------------------------------------------------------

// Empties `list` and fills it with the parts of `text`: entries are separated by the delimiter
// and, outside double quotes, by blanks and control characters; double quotes group, and a doubled
// double quote inside them stands for one. A delimiter at the very end adds an empty entry.
void SplitDelimited(QChar delimiter, const QString& text, QStringList& list);

// A text longer than `max` becomes its first max div 2 - 4 characters, "..." and its last
// max div 2 + 1 characters; a shorter one stays as it is.
QString ShortenText(const QString& text, int max);

// A new GUID in its registry form: 38 characters, upper-case hexadecimal digits in braces.
QString NewGUIDString();

// --- Geometry ---------------------------------------------------------------------------------

double PointDistance(QPoint a, QPoint b);
// -1 only for a squared sum that is not a number.
double PointDistanceF(QPointF a, QPointF b);
// The ends of a bar of half length d through (x1, y1), perpendicular to the line to (x2, y2);
// coinciding points give the first point twice.
std::pair<QPoint, QPoint> PerpendicularEnds(int x1, int y1, int x2, int y2, double d);

// Writes `text` turned by `angle` degrees counter-clockwise about (x, y), with the painter's font
// and pen. `align` places (x, y) on the text as GDI's text alignment does: left, right or
// horizontal centre; top, bottom (of the descent) or baseline.
void TextOutRotated(QPainter* canvas, int angle, int x, int y, const QString& text,
                    Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop);

// --- Image buffers ----------------------------------------------------------------------------

// Raised by LoadPictureToDIB for a file that exists but cannot be read as a picture.
class EInvalidGraphic : public std::runtime_error {
public:
    explicit EInvalidGraphic(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// Reads a picture file into `image` as 24 bits per pixel; transparent parts come out white. The
// extension chooses the format (.jpg/.jpeg, .bmp, .png, .tif/.tiff, .gif) and the content must be
// of that format. Returns 0 when read and -1 when the file does not exist. A file of another
// extension or content, a damaged file (also where the decoder would only warn), and a picture
// too large for its file or for the memory left raise EInvalidGraphic before the pixels are
// allocated; `image` is then left as it was.
int LoadPictureToDIB(TFastDIB& image, const QString& fileName);
// The patterns of every extension LoadPictureToDIB takes, for a file dialog's filter:
// "*.jpg;*.jpeg;...".
QString PictureFilePatterns();
// The most bytes reading one picture may hold: the limit set, or else the memory the machine has
// available at the time. A limit of 0 goes back to the available memory.
qint64 PictureMemoryLimit();
void SetPictureMemoryLimit(qint64 bytes);
// Write a copy of the image (same size and depth) as PNG, or as JPEG of quality 95, with `dpi` as
// the file's resolution when above 0. The file is replaced only when the whole picture was
// written. 0 written, -1 failed.
int SaveDIBAsPNG(const TFastDIB& image, const QString& fileName, int dpi = 0);
int SaveDIBAsJPEG(const TFastDIB& image, const QString& fileName, int dpi = 0);
// The quality of every JPEG the program writes of an image.
inline constexpr int ImageJPEGQuality = 95;
// A resolution in dots per inch as picture files count it, dots per metre.
int DotsPerMetre(int dpi);

// Kernel number of the resampler for the resampling setting 1 (point: 0), 2 (Gaussian: 11) or
// 3 (Lanczos: 14); any other setting gives `defaultKernel`.
int ResamplerIndex(int setting, int defaultKernel);

// (R + G + B) div 3 of the pixel at column x and row y counted from the top of the picture;
// -1 outside the image.
int GetGrayValue(const TFastDIB& image, int x, int y);

// --- Measurement records ---------------------------------------------------------------------

// Appends one record per measurement point of the path, index point by index point in path order:
// Distance = Round(distance), UnitDistance = Round(GetDistance(distance)), Info = the comment.
// Returns the list's new count; the caller owns the records.
int CollectMeasurementData(const TPath& path, std::vector<std::unique_ptr<TMeasurementData>>& list,
                           const std::function<double(double)>& GetDistance);
