// A video frame as a device might deliver it: the first bytes choose the format and the stream's
// width and height, the rest are the frame. A decoder must refuse what the bytes cannot hold and
// otherwise fill a picture of the stream's size; a refusal always says why.
#include "acquisition/VFrameDecode.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "platform/VideoCapture.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>

// The compression message is drawn as text, which needs the toolkit's fonts.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char name[] = "videoframe_fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const quint32 codes[] = {
        0, MakeFourCC('I', '4', '2', '0'), MakeFourCC('I', 'Y', 'U', 'V'), MakeFourCC('Y', 'V', '1', '2'),
        MakeFourCC('B', 'Y', '8', ' '), MakeFourCC('Y', 'U', 'Y', '2'), MakeFourCC('Y', 'U', 'N', 'V'),
        MakeFourCC('Y', 'U', 'Y', 'V'), MakeFourCC('M', 'J', 'P', 'G'), MakeFourCC('N', 'V', '1', '2'),
    };
    if (size < 5)
        return 0;
    const quint32 code = codes[data[0] % (sizeof(codes) / sizeof(codes[0]))];
    uint16_t w16, h16;
    std::memcpy(&w16, data + 1, 2);
    std::memcpy(&h16, data + 3, 2);
    const int width = w16 % 300 + 1;
    const int height = h16 % 300 + 1;
    const quint8* frame = data + 5;
    const qint64 frameSize = qint64(size - 5);

    TFastDIB bmp;
    bmp.SetSize(width, height, 24);
    QString error;
    const int result = UnpackVideoFrame(code, frame, frameSize, bmp, &error);
    if (result != 0) {
        if (error.isEmpty())
            std::abort();
        DrawCompressionMessage(bmp, frameSize, code);
    } else {
        const qint64 required = VideoFrameRequiredSize(code, width, height);
        if (required >= 0 && required != frameSize)
            std::abort(); // accepted a frame of another size
    }
    if (bmp.Info.Header.Width != width || bmp.AbsHeight != height)
        std::abort(); // the picture keeps the stream's size
    return 0;
}
