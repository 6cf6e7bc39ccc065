// What reading and writing a project asks of whoever shows it: progress and Cancel, a missing
// image, new pixels, the tree, the captions and the view. The defaults show and ask nothing, so a
// bare document reads and writes with them alone; the image window brings its own.
#pragma once

#include <QString>

class ProjectDocument;
class QObject;
class TStitchObject;

class ProjectIOHooks {
public:
    virtual ~ProjectIOHooks() = default;

    // ---- progress ----
    // A read or write starts: its title and first text, the bar at 0 and Cancel not pressed.
    virtual void begin(const QString& title, const QString& text);
    virtual void setSteps(int count);
    // One step done; a null text keeps the last one. May run events.
    virtual void step(const QString& text);
    // The user asked to stop, or whoever shows the document went away.
    virtual bool cancelled();
    virtual void end();

    // ---- reading ----
    struct Located {
        enum Answer { Skip, Cancel, Found };
        Answer answer = Skip;
        QString fileName; // Found: where the image is now
    };
    // An image the project names is not at `fileName`; `projectFile` is the file being read.
    virtual Located locateImage(const QString& fileName, const QString& projectFile);
    // Adds the image file as the rightmost image, its pixels read when asked; false when it could
    // not be read (said already) and the read must stop. The default reads into the document.
    virtual bool addImage(ProjectDocument& doc, const QString& fileName, bool readPixels);
    // Reads the image's pixels from its file (see ReadImagePixels, whose exceptions pass) and
    // tells imageRead when some came.
    virtual void readPixels(TStitchObject& image);
    // The image got its pixels (read from its file or from the project).
    virtual void imageRead(TStitchObject& image);
    // The images read so far are to be shown (the tree follows each doubling, and the end).
    virtual void showImages();
    // An image is about to be read under the application's caption.
    virtual void imageCaption();
    // The name a project that has none takes.
    virtual QString newProjectName();
    // Empties the document; a view lets go of what shows it first.
    virtual void clear(ProjectDocument& doc);
    // The project data gave the view: the default takes a zoom in 1..999 and the scroll position.
    virtual void viewRead(ProjectDocument& doc, int zoom, int scrollX, int scrollY);
    // Everything was read; the scroll position once more, now that the canvas has its size.
    virtual void readDone(ProjectDocument& doc, int scrollX, int scrollY);
    // The read failed and the document was emptied, or it gave nothing to keep: a view shows it
    // no more before the reason is said.
    virtual void abandoned();
    // The window objects drawn on the document belong to; none for a bare document.
    virtual QObject* view();
};

// Reads the image's pixels from its file, DropBorder (clamped) dropped on every side, as 24 bits.
// However it ends the image counts as loaded and takes the size of its pixels. True when pixels
// were read; false for no file name or a missing file; throws EInvalidGraphic for an undecodable
// one, leaving the pixels as they were.
bool ReadImagePixels(TStitchObject& image);
