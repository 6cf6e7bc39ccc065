// One image of a project: its place on the canvas, its flags and its three pixel buffers.
#pragma once

#include "project/TJEXObject.h"

#include <QByteArray>
#include <QString>

#include <memory>

class TFastDIB;

// The JPEG an image was read with from a project file, and a fingerprint of the pixels it gave:
// while the pixels are those, saving writes the same JPEG again instead of compressing them once
// more. A section whose text could not be decoded is kept as that text, to be written back as it
// came. Kept with the image, it goes when the image goes.
struct TKeptPicture {
    int width = 0;
    int height = 0;
    size_t pixelHash = 0;
    QByteArray jpeg; // the decoded bytes of the section; written as Base64
    QByteArray text; // or the text of a section that is no Base64; empty both: nothing kept
};

class TStitchObject : public TJEXObject {
public:
    TStitchObject(); // three empty 0 x 0 buffers
    ~TStitchObject() override;

    int x = 0; // top-left corner on the canvas
    int y = 0;
    int DropBorder = 0; // pixels dropped on every side when read from the image file
    int Width = 0;      // size of FD
    int Height = 0;
    std::unique_ptr<TFastDIB> FD; // the image as shown, saved and embedded; 24 bits per pixel
    std::unique_ptr<TFastDIB> FT; // copy made from FD for the gray-value tracker
    std::unique_ptr<TFastDIB> FZ; // FD scaled to the window's zoom, shown at zoom values above 10
    QString filename;             // also kept for embedded images
    bool ImageChanged = false;
    bool Visible = true;
    bool Selected = false; // while images are aligned; apart from TJEXObject::selected
    bool Displayed = false; // on screen, for dynamic freeing of pixels
    bool Loaded = false;    // pixels in memory
    bool Embedded = false;  // pixels stored inside the project file
    TKeptPicture Kept;      // filled and read by the project file reader and writer only
};
