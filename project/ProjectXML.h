// The project file .jex4: one image window's project as UTF-8 XML, images by file name or embedded
// as Base64 JPEG text. Hides the XML libraries (QXmlStreamWriter out, expat in), the embedding and
// the reader's state, which lives for one read only. Reads and writes a ProjectDocument; what they
// ask of a view goes through ProjectIOHooks. The image window's forms are thin wrappers whose hooks
// drive the progress box, the tree and the captions (workspace/ProjectWindowIO.cpp).
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class ProjectDocument;
class ProjectIOHooks;
class QByteArray;
class TF_SMDI;

// Results of the reader.
enum : int {
    ProjectRead = 0,        // read; the project is marked changed when an image was located
                            // elsewhere, since the file still names the old place
    ProjectReadDamaged = 1, // read in part: damaged parts were left out or repaired, and a warning
                            // box and log lines have said which; the project is marked changed
    ProjectCancelled = -1,  // the user cancelled, or the window was closed meanwhile
    ProjectReadFailed = -2, // nothing read: the file is missing, unreadable or not well formed; an
                            // error box and a log line have said why, and the window holds nothing
                            // of the file and does not bear its name
};

// Writes the document, replacing the file only when all of it was written. 0 written (the project
// is no longer marked changed); -1 not written (an error box has told the user why, and an
// existing file is as it was).
int SaveProjectXML(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks);

// Empties the document and reads the file into it; one of the results above, the document left
// consistent whatever it is (after a cancel: what was read by then). `notes` as below.
int LoadProjectXML(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks,
                   QStringList* notes = nullptr);
int LoadProjectXMLData(ProjectDocument& doc, const QByteArray& data, const QString& fileName,
                       ProjectIOHooks& hooks, QStringList* notes = nullptr);

// Writes the project of the window, replacing the file only when the whole document was written.
// 0 written (the project is no longer marked changed); -1 not written (an error box has told the
// user why, and an existing file is as it was).
int SaveProjectXML(TF_SMDI* window, const QString& fileName, bool showProgress);

// Clears the window and reads the file into it. One of the results above; the caller keeps the
// window for ProjectRead and ProjectReadDamaged and closes it otherwise. `notes`, when given,
// receives one line for each damaged part left out or repaired, and the reason of a failure.
int LoadProjectXML(TF_SMDI* window, const QString& fileName, QStringList* notes = nullptr);

// The same from memory; `fileName` is the name the project takes, whose folder is offered when an
// image has to be located.
int LoadProjectXMLData(TF_SMDI* window, const QByteArray& data, const QString& fileName,
                       QStringList* notes = nullptr);

// Bytes the reader reads at a time; picture sections may straddle any number of these.
constexpr qint64 ProjectReadChunk = qint64(1) << 20;

// True when the text equals "TRUE", ignoring letter case.
bool IsTrueText(const QString& text);
