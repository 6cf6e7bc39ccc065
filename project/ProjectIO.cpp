// The hooks a bare document reads and writes with, and reading an image's pixels from its file.
#include "project/ProjectIO.h"

#include "image/DepthConversion.h"
#include "image/TFastDIB.h"
#include "project/ErrorLog.h"
#include "project/Helpers.h"
#include "project/ProjectDocument.h"
#include "project/TStitchObject.h"


#include <algorithm>
#include <exception>

void ProjectIOHooks::begin(const QString&, const QString&) {}
void ProjectIOHooks::setSteps(int) {}
void ProjectIOHooks::step(const QString&) {}
bool ProjectIOHooks::cancelled() { return false; }
void ProjectIOHooks::end() {}

ProjectIOHooks::Located ProjectIOHooks::locateImage(const QString&, const QString&)
{
    return {};
}

bool ProjectIOHooks::addImage(ProjectDocument& doc, const QString& fileName, bool readPixels)
{
    auto image = std::make_unique<TStitchObject>();
    for (const auto& so : doc.StitchList)
        image->x = int(std::max<qint64>(image->x, qint64(so->x) + so->Width));
    image->filename = fileName;
    if (readPixels) {
        try {
            ReadImagePixels(*image);
        } catch (const std::exception& e) {
            ErrorLog::AddLog(0, QString::fromLocal8Bit(e.what()));
            return false;
        }
    }
    doc.addImage(std::move(image));
    return true;
}

void ProjectIOHooks::readPixels(TStitchObject& image)
{
    if (ReadImagePixels(image))
        imageRead(image);
}

void ProjectIOHooks::imageRead(TStitchObject&) {}
void ProjectIOHooks::showImages() {}
void ProjectIOHooks::imageCaption() {}

QString ProjectIOHooks::newProjectName()
{
    return QStringLiteral("New Project 1");
}

void ProjectIOHooks::clear(ProjectDocument& doc)
{
    doc.clear(true, true);
}

void ProjectIOHooks::viewRead(ProjectDocument& doc, int zoom, int scrollX, int scrollY)
{
    if (zoom >= 1 && zoom <= 999)
        doc.Zoom = zoom;
    doc.ScrollX = scrollX;
    doc.ScrollY = scrollY;
}

void ProjectIOHooks::readDone(ProjectDocument& doc, int scrollX, int scrollY)
{
    doc.ScrollX = scrollX;
    doc.ScrollY = scrollY;
}

void ProjectIOHooks::abandoned() {}

QObject* ProjectIOHooks::view()
{
    return nullptr;
}

bool ReadImagePixels(TStitchObject& image)
{
    // However the read ends, the image counts as loaded and its size is that of FD.
    struct Finish {
        TStitchObject& so;
        ~Finish()
        {
            so.Loaded = true;
            so.Width = so.FD->Info.Header.Width;
            so.Height = so.FD->AbsHeight;
        }
    } finish{image};

    if (image.filename.isEmpty())
        return false;
    TFastDIB temp;
    // Missing: -1, nothing read. Undecodable: EInvalidGraphic passes to the caller, FD unchanged.
    if (LoadPictureToDIB(temp, image.filename) < 0)
        return false;
    SetPixelDepth(temp, 24);
    if (temp.Info.Header.BitCount != 24)
        throw EInvalidGraphic(QStringLiteral("Not enough memory for image ") + image.filename);

    const int w = temp.Info.Header.Width;
    const int h = temp.AbsHeight;
    // A border that would leave nothing keeps at least the middle pixel row or column.
    const int border = std::clamp(image.DropBorder, 0, qMax(0, (qMin(w, h) - 1) / 2));
    if (border == 0) {
        image.FD->Assign(temp);
        temp.Release();
    } else {
        image.FD->SetSize(w - 2 * border, h - 2 * border, 24);
        if (!image.FD->Bits)
            throw EInvalidGraphic(QStringLiteral("Not enough memory for image ") + image.filename);
        image.FD->CopyRect(temp, 0, 0, w - 2 * border, h - 2 * border, border, border);
    }
    image.FT->makeSharedCopy(*image.FD);
    return true;
}
