// JPEG binding over libjpeg-turbo's libjpeg 6b interface. libjpeg reports errors by calling back;
// ours jump (setjmp/longjmp) to the one codec step that was running, which returns false. The
// steps live in small Decoder/Encoder classes whose frames hold no C++ objects, so a jump never
// skips a destructor; everything that allocates in C++ runs between steps.
#include "image/FastJPG.h"

#include "image/ExifThumbnail.h"
#include "image/ProcessorInfo.h"
#include "image/TFastDIB.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// A progressive JPEG may hold any number of scans, each a pass over the whole image; real
// encoders write about ten, hostile data thousands.
constexpr int MaxProgressiveScans = 500;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpWith(j_common_ptr cinfo, const char* text)
{
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(errors->text, sizeof errors->text, "%s", text);
    std::longjmp(errors->jump, 1);
}

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->text);
    std::longjmp(errors->jump, 1);
}

// libjpeg warns and carries on where data is damaged (premature end, corrupt entropy-coded
// data), filling the rest with gray; such a picture must not pass as decoded. Only warnings
// about unusual but harmless markers are let through. Trace messages (level > 0) are dropped.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
        return;
    default:
        jumpOnError(cinfo);
    }
}

void silent(j_common_ptr) {}

void setUpErrors(ErrorManager& errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jumpOnError;
    errors.pub.emit_message = onMessage;
    errors.pub.output_message = silent;
    errors.text[0] = '\0';
}

void limitScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->progressive_mode && d->input_scan_number > MaxProgressiveScans)
        jumpWith(cinfo, "Too many scans in a progressive JPEG");
}

// One decompression, step by step. Each step returns false when libjpeg gave up; text() says why.
class Decoder {
public:
    Decoder()
    {
        std::memset(&m_cinfo, 0, sizeof m_cinfo);
        setUpErrors(m_errors);
        m_cinfo.err = &m_errors.pub;
        m_progress.progress_monitor = limitScans;
    }
    ~Decoder() { jpeg_destroy_decompress(&m_cinfo); } // safe on a zeroed or half-made record
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool readHeader(const quint8* data, qint64 size, qint64 maxMemory)
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_create_decompress(&m_cinfo);
        m_cinfo.mem->max_memory_to_use = static_cast<long>(maxMemory);
        m_cinfo.progress = &m_progress;
        m_size = size;
        jpeg_mem_src(&m_cinfo, data, static_cast<unsigned long>(size));
        jpeg_read_header(&m_cinfo, TRUE);
        return true;
    }

    bool start(int shift, J_COLOR_SPACE space, bool smooth)
    {
        if (setjmp(m_errors.jump))
            return false;
        m_cinfo.scale_num = 1;
        m_cinfo.scale_denom = 1u << shift;
        m_cinfo.out_color_space = space;
        m_cinfo.dct_method = JDCT_ISLOW;
        m_cinfo.do_block_smoothing = smooth ? TRUE : FALSE;
        jpeg_start_decompress(&m_cinfo);
        return true;
    }

    // `each`, when given, sees every run of rows the decoder delivers, between its calls.
    bool readRows(JSAMPARRAY rows, JDIMENSION count, const std::function<void(JSAMPARRAY, JDIMENSION)>* each = nullptr)
    {
        if (setjmp(m_errors.jump))
            return false;
        JDIMENSION done = 0;
        while (done < count) {
            const JDIMENSION got = jpeg_read_scanlines(&m_cinfo, rows + done, count - done);
            if (got == 0)
                jumpWith(reinterpret_cast<j_common_ptr>(&m_cinfo), "The decoder stopped early");
            if (each)
                (*each)(rows + done, got);
            done += got;
        }
        return true;
    }

    bool finish()
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_finish_decompress(&m_cinfo);
        return true;
    }

    // Bytes of the data that the decoder has taken, the end-of-image marker included.
    qint64 consumed() const { return m_cinfo.src ? m_size - qint64(m_cinfo.src->bytes_in_buffer) : 0; }

    // Entropy-coded sequential data spends at least two bits on every block (a DC code and an
    // end-of-block code, both at least one bit long), so data shorter than that cannot hold the
    // picture its header announces. Progressive and arithmetic coding have no such floor.
    bool tooShortFor(qint64 size) const
    {
        if (m_cinfo.progressive_mode || m_cinfo.arith_code)
            return false;
        qint64 blocks = 0;
        for (int c = 0; c < m_cinfo.num_components; ++c)
            blocks += qint64(m_cinfo.comp_info[c].width_in_blocks) * m_cinfo.comp_info[c].height_in_blocks;
        return size * 8 < blocks * 2;
    }

    jpeg_decompress_struct& info() { return m_cinfo; }
    QString text() const { return QString::fromLatin1(m_errors.text); }

private:
    jpeg_decompress_struct m_cinfo;
    ErrorManager m_errors;
    jpeg_progress_mgr m_progress {};
    qint64 m_size = 0;
};

// Output into memory: a caller's block of fixed size, or our own block that grows by doubling.
// Or a block of our own handed to a sink each time it is full, and at the end.
struct Destination {
    jpeg_destination_mgr pub;
    quint8* buffer = nullptr;
    std::size_t capacity = 0;
    bool growable = false;
    bool owned = false; // the buffer is ours to free
    const TFastJPG::PieceSink* sink = nullptr;
    qint64 handedOut = 0; // bytes given to the sink
};

void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

// Called from libjpeg's frames: nothing may be thrown through them.
void handOut(j_compress_ptr cinfo, std::size_t size)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    bool taken = false;
    try {
        taken = (*dest->sink)(dest->buffer, qint64(size));
    } catch (...) {
        taken = false;
    }
    if (!taken)
        jumpWith(reinterpret_cast<j_common_ptr>(cinfo), "The encoded picture could not be passed on");
    dest->handedOut += qint64(size);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

boolean emptyDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->sink) {
        handOut(cinfo, dest->capacity);
        return TRUE;
    }
    if (!dest->growable)
        jumpWith(reinterpret_cast<j_common_ptr>(cinfo), "The JPEG does not fit into the buffer");
    const std::size_t grown = dest->capacity * 2;
    auto* bigger = static_cast<quint8*>(std::realloc(dest->buffer, grown));
    if (!bigger)
        jumpWith(reinterpret_cast<j_common_ptr>(cinfo), "Out of memory while encoding");
    dest->pub.next_output_byte = bigger + dest->capacity;
    dest->pub.free_in_buffer = grown - dest->capacity;
    dest->buffer = bigger;
    dest->capacity = grown;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->sink && dest->pub.free_in_buffer < dest->capacity)
        handOut(cinfo, dest->capacity - dest->pub.free_in_buffer);
}

class Encoder {
public:
    Encoder()
    {
        std::memset(&m_cinfo, 0, sizeof m_cinfo);
        setUpErrors(m_errors);
        m_cinfo.err = &m_errors.pub;
        m_dest.pub.init_destination = initDestination;
        m_dest.pub.empty_output_buffer = emptyDestination;
        m_dest.pub.term_destination = termDestination;
    }
    ~Encoder()
    {
        jpeg_destroy_compress(&m_cinfo);
        if (m_dest.owned)
            std::free(m_dest.buffer);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // buffer null: a growable block starting at size bytes, or with a sink a block of that size
    // handed to it whenever it is full.
    bool start(quint8* buffer, std::size_t size, int width, int height, bool gray, int quality,
               const TFastJPG::PieceSink* sink = nullptr)
    {
        if (setjmp(m_errors.jump))
            return false;
        m_dest.sink = sink;
        m_dest.owned = buffer == nullptr;
        m_dest.growable = m_dest.owned && !sink;
        m_dest.capacity = size;
        m_dest.buffer = m_dest.owned ? static_cast<quint8*>(std::malloc(size)) : buffer;
        if (!m_dest.buffer)
            jumpWith(reinterpret_cast<j_common_ptr>(&m_cinfo), "Out of memory while encoding");
        jpeg_create_compress(&m_cinfo);
        m_cinfo.dest = &m_dest.pub;
        m_cinfo.image_width = JDIMENSION(width);
        m_cinfo.image_height = JDIMENSION(height);
        m_cinfo.input_components = gray ? 1 : 3;
        m_cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
        jpeg_set_defaults(&m_cinfo);
        m_cinfo.dct_method = JDCT_ISLOW;
        jpeg_set_quality(&m_cinfo, quality, TRUE);
        jpeg_start_compress(&m_cinfo, TRUE);
        return true;
    }

    bool writeRows(JSAMPARRAY rows, JDIMENSION count)
    {
        if (setjmp(m_errors.jump))
            return false;
        JDIMENSION done = 0;
        while (done < count) {
            const JDIMENSION put = jpeg_write_scanlines(&m_cinfo, rows + done, count - done);
            if (put == 0)
                jumpWith(reinterpret_cast<j_common_ptr>(&m_cinfo), "The encoder stopped early");
            done += put;
        }
        return true;
    }

    bool finish()
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_finish_compress(&m_cinfo);
        return true;
    }

    qint64 written() const { return m_dest.handedOut + qint64(m_dest.capacity - m_dest.pub.free_in_buffer); }

    // Hands the growable block to the caller (free() it).
    quint8* takeBuffer()
    {
        quint8* buffer = m_dest.buffer;
        m_dest.buffer = nullptr;
        m_dest.growable = m_dest.owned = false;
        return buffer;
    }

    QString text() const { return QString::fromLatin1(m_errors.text); }

private:
    jpeg_compress_struct m_cinfo;
    ErrorManager m_errors;
    Destination m_dest;
};

struct FreeBlock {
    void operator()(quint8* p) const { std::free(p); }
};

qint64 rowBytes(qint64 width, int bpp)
{
    return (width * bpp + 31) / 32 * 4;
}

// Memory row of picture row y (counted from the top).
int memoryRow(const TFastDIB& image, int y)
{
    return image.Info.Header.Height > 0 ? image.AbsHeight - 1 - y : y;
}

} // namespace

TFastJPG::TFastJPG()
{
    FlushProps();
}

void TFastJPG::FlushProps()
{
    Props = TJPGProps();
}

void TFastJPG::AttachImage(TFastDIB* image)
{
    fBmp = image;
    attachFields();
}

// Copies the image's layout into the record; false when the depth is not one the codec takes.
bool TFastJPG::attachFields()
{
    if (!fBmp)
        return false;
    Props.DIBBytes = fBmp->Bits;
    Props.DIBWidth = quint32(qMax(0, fBmp->Info.Header.Width));
    Props.DIBHeight = -fBmp->Info.Header.Height;
    Props.DIBPadBytes = quint32(qMax(0, fBmp->Gap));
    switch (fBmp->Info.Header.BitCount) {
    case 8:
        Props.DIBChannels = 1;
        Props.DIBColor = jcGray;
        return true;
    case 24:
        Props.DIBChannels = 3;
        Props.DIBColor = jcBGR;
        return true;
    default:
        Props.DIBChannels = 0;
        Props.DIBColor = 0;
        return false;
    }
}

int TFastJPG::fail(const QString& message)
{
    m_error = message;
    return -1;
}

int TFastJPG::LoadMem(const quint8* Mem, qint64 Size)
{
    m_error.clear();
    if (!fBmp)
        return fail(QStringLiteral("No image to decode into"));
    if (!Mem || Size <= 0)
        return fail(QStringLiteral("No JPEG data"));
    try {
        return decode(Mem, Size, nullptr) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Out of memory while decoding"));
    }
}

bool TFastJPG::decode(const quint8* data, qint64 size, qint64* consumed)
{
    Props.JPGBytes = data;
    Props.JPGSizeBytes = size;
    Props.JPGThumbWidth = 0;
    Props.JPGThumbHeight = 0;

    if (Scale > jsThumbnail) {
        fail(QStringLiteral("Unknown decoding size"));
        return false;
    }
    Decoder main;
    if (!main.readHeader(data, size, MaxImageBytes)) {
        fail(main.text());
        return false;
    }
    Props.JPGWidth = main.info().image_width;
    Props.JPGHeight = main.info().image_height;
    Props.JPGChannels = quint32(main.info().num_components);

    // The thumbnail is a JPEG of its own inside the EXIF block; it is decoded instead of the main
    // picture and at its own size.
    QByteArray thumbnail;
    Decoder thumb;
    Decoder* source = &main;
    int shift = Scale;
    if (Scale == jsThumbnail) {
        thumbnail = ReadExifThumbnail(data, size);
        if (thumbnail.isEmpty()) {
            fail(QStringLiteral("The JPEG has no thumbnail"));
            return false;
        }
        if (!thumb.readHeader(reinterpret_cast<const quint8*>(thumbnail.constData()), thumbnail.size(), MaxImageBytes)) {
            fail(QStringLiteral("The thumbnail cannot be read: ") + thumb.text());
            return false;
        }
        Props.JPGThumbWidth = thumb.info().image_width;
        Props.JPGThumbHeight = thumb.info().image_height;
        source = &thumb;
        shift = 0;
        size = thumbnail.size();
    }
    jpeg_decompress_struct& cinfo = source->info();

    const bool gray = cinfo.num_components == 1;
    if (!gray && cinfo.num_components != 3) {
        fail(QStringLiteral("JPEG with %1 colour components is not supported").arg(cinfo.num_components));
        return false;
    }
    // The image size is the JPEG's shifted down; libjpeg rounds its scaled size up, so it may
    // deliver one more row and column, which are dropped. A picture never shrinks to nothing.
    const int width = int(qMax<JDIMENSION>(1, cinfo.image_width >> shift));
    const int height = int(qMax<JDIMENSION>(1, cinfo.image_height >> shift));
    const int bpp = gray ? 8 : 24;
    const int channels = gray ? 1 : 3;
    // Gray pictures become 24-bit in a project: the shared limit counts them at that depth.
    if (rowBytes(width, bpp) * height > MaxImageBytes || !PictureFitsLimit(width, height)) {
        fail(QStringLiteral("The JPEG is too large (%1 x %2)").arg(cinfo.image_width).arg(cinfo.image_height));
        return false;
    }
    if (source->tooShortFor(size)) {
        fail(QStringLiteral("The JPEG data is too short for its size"));
        return false;
    }

    if (!source->start(shift, gray ? JCS_GRAYSCALE : JCS_EXT_BGR, Props.Smooth)) {
        fail(source->text());
        return false;
    }
    const JDIMENSION outWidth = cinfo.output_width;
    const JDIMENSION outHeight = cinfo.output_height;
    if (outWidth < JDIMENSION(width) || outHeight < JDIMENSION(height)) {
        fail(QStringLiteral("The decoder delivered a smaller picture than announced"));
        return false;
    }

    // Decoded into an image of its own so that a failure leaves the caller's image as it was.
    TFastDIB image;
    image.UseGDI = fBmp->UseGDI;
    image.SetSize(width, height, quint8(bpp));
    if (!image.Bits || !image.Scanlines) {
        fail(QStringLiteral("Out of memory for a %1 x %2 image").arg(width).arg(height));
        return false;
    }
    if (gray) {
        for (int i = 0; i < 256; ++i) {
            image.Info.Colors[i].b = image.Info.Colors[i].g = image.Info.Colors[i].r = quint8(i);
            image.Info.Colors[i].a = 0;
        }
        image.UpdateColors();
    }

    const std::size_t pixelBytes = std::size_t(width) * channels;
    std::vector<JSAMPLE> scratch(std::size_t(outWidth) * channels);
    bool ok = true;
    if (outWidth == JDIMENSION(width)) {
        // The rows go straight into the image, top row of the picture into the last memory row.
        std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y)
            rows[std::size_t(y)] = static_cast<JSAMPROW>(image.Scanlines[memoryRow(image, y)]);
        std::function<void(JSAMPARRAY, JDIMENSION)> each;
        if (RowsDecoded)
            each = [&](JSAMPARRAY run, JDIMENSION count) { RowsDecoded(run, int(count), qint64(pixelBytes)); };
        ok = source->readRows(rows.data(), JDIMENSION(height), RowsDecoded ? &each : nullptr);
        JSAMPROW spare = scratch.data();
        for (JDIMENSION y = JDIMENSION(height); ok && y < outHeight; ++y)
            ok = source->readRows(&spare, 1);
    } else {
        JSAMPROW spare = scratch.data();
        for (JDIMENSION y = 0; ok && y < outHeight; ++y) {
            ok = source->readRows(&spare, 1);
            if (ok && y < JDIMENSION(height)) {
                auto* row = static_cast<quint8*>(image.Scanlines[memoryRow(image, int(y))]);
                std::memcpy(row, spare, pixelBytes);
                if (RowsDecoded)
                    RowsDecoded(&row, 1, qint64(pixelBytes));
            }
        }
    }
    if (!ok || !source->finish()) {
        fail(source->text());
        return false;
    }

    // The resolution travels with the image, as from a bitmap file; JFIF counts per inch or per
    // centimetre and truncates like the toolkit's reader.
    if (cinfo.density_unit == 1 || cinfo.density_unit == 2) {
        const double inch = cinfo.density_unit == 1 ? 2.54 : 1.0;
        image.Info.Header.XPelsPerMeter = qint32(100.0 * cinfo.X_density / inch);
        image.Info.Header.YPelsPerMeter = qint32(100.0 * cinfo.Y_density / inch);
    }
    fBmp->Assign(image);
    image.Release();
    attachFields();
    if (consumed)
        *consumed = Scale == jsThumbnail ? -1 : main.consumed();
    return true;
}

int TFastJPG::ReadParams(const quint8* Mem, qint64 Size)
{
    m_error.clear();
    if (!Mem || Size <= 0)
        return fail(QStringLiteral("No JPEG data"));
    Decoder header;
    if (!header.readHeader(Mem, Size, MaxImageBytes))
        return fail(header.text());
    Props.JPGBytes = Mem;
    Props.JPGSizeBytes = Size;
    Props.JPGWidth = header.info().image_width;
    Props.JPGHeight = header.info().image_height;
    Props.JPGChannels = quint32(header.info().num_components);
    return 0;
}

int TFastJPG::LoadFile(const QString& FileName)
{
    m_error.clear();
    Props.FileName = FileName;
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot open %1: %2").arg(FileName, file.errorString()));
    if (file.size() > MaxPictureBytes())
        return fail(QStringLiteral("%1 is too large for a JPEG").arg(FileName));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("Cannot read %1: %2").arg(FileName, file.errorString()));
    return LoadMem(reinterpret_cast<const quint8*>(data.constData()), data.size());
}

int TFastJPG::LoadRes(const QString& ResPath)
{
    return LoadFile(ResPath);
}

int TFastJPG::LoadStream(QIODevice* Stream)
{
    m_error.clear();
    if (!fBmp)
        return fail(QStringLiteral("No image to decode into"));
    if (!Stream || !Stream->isReadable())
        return fail(QStringLiteral("The stream cannot be read"));

    const qint64 start = Stream->isSequential() ? 0 : Stream->pos();
    QByteArray copy;
    const quint8* data = nullptr;
    qint64 size = 0;
    if (auto* buffer = qobject_cast<QBuffer*>(Stream)) {
        // A memory stream is decoded where it lies.
        const QByteArray& all = buffer->data();
        size = qMax<qint64>(0, all.size() - start);
        data = reinterpret_cast<const quint8*>(all.constData()) + qMin<qint64>(start, all.size());
    } else {
        copy = Stream->readAll();
        data = reinterpret_cast<const quint8*>(copy.constData());
        size = copy.size();
    }
    if (size <= 0) {
        if (!Stream->isSequential())
            Stream->seek(start);
        return fail(QStringLiteral("No JPEG data"));
    }

    qint64 consumed = -1;
    bool ok = false;
    try {
        ok = decode(data, size, &consumed);
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("Out of memory while decoding"));
    }
    if (!Stream->isSequential()) {
        if (!ok)
            Stream->seek(start);
        else if (consumed >= 0)
            Stream->seek(start + consumed);
        else
            Stream->seek(start + qMin(FindJPGEnd(data, size), size));
    }
    return ok ? 0 : -1;
}

// Encodes fBmp; into fixedBuffer when given, else with a sink in pieces of fixedSize bytes, else
// into a growable block handed out in *grown.
bool TFastJPG::encode(quint8* fixedBuffer, qint64 fixedSize, quint8** grown, qint64* written, const PieceSink* sink)
{
    m_error.clear();
    if (!fBmp) {
        fail(QStringLiteral("No image to encode"));
        return false;
    }
    const int width = fBmp->Info.Header.Width;
    const int height = fBmp->AbsHeight;
    if (width <= 0 || height <= 0 || !fBmp->Scanlines) {
        fail(QStringLiteral("The image is empty"));
        return false;
    }
    if (!attachFields()) {
        fail(QStringLiteral("Only 8-bit and 24-bit images can be written as JPEG"));
        return false;
    }
    const bool gray = Props.DIBChannels == 1;
    Props.JPGWidth = quint32(width);
    Props.JPGHeight = quint32(height);
    Props.JPGChannels = Props.DIBChannels;

    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[std::size_t(y)] = static_cast<JSAMPROW>(fBmp->Scanlines[memoryRow(*fBmp, y)]);

    // A first guess for the growable block: a quarter of the pixel bytes, which smooth pictures
    // stay well below even at high quality.
    const std::size_t guess = std::size_t(qMax<qint64>(16384, qint64(width) * height * Props.DIBChannels / 4));
    Encoder encoder;
    const int quality = int(qBound<quint32>(1, Props.Quality, 100));
    const std::size_t size = fixedBuffer || sink ? std::size_t(fixedSize) : guess;
    const bool ok = encoder.start(fixedBuffer, size, width, height, gray, quality, sink)
                    && encoder.writeRows(rows.data(), JDIMENSION(height)) && encoder.finish();
    if (!ok) {
        fail(encoder.text());
        return false;
    }
    *written = encoder.written();
    Props.JPGSizeBytes = *written;
    if (grown)
        *grown = encoder.takeBuffer();
    return true;
}

qint64 TFastJPG::SaveMem(quint8* Mem, qint64 Size)
{
    if (!Mem || Size <= 0) {
        m_error = QStringLiteral("No buffer to encode into");
        return -1;
    }
    Props.JPGBytes = Mem;
    qint64 written = 0;
    try {
        return encode(Mem, Size, nullptr, &written) ? written : -1;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Out of memory while encoding"));
    }
}

int TFastJPG::SaveInPieces(const PieceSink& sink, qint64 pieceBytes)
{
    if (!sink || pieceBytes <= 0)
        return fail(QStringLiteral("No sink to encode into"));
    qint64 written = 0;
    try {
        return encode(nullptr, pieceBytes, nullptr, &written, &sink) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Out of memory while encoding"));
    }
}

int TFastJPG::SaveFile(const QString& FileName)
{
    Props.FileName = FileName;
    quint8* block = nullptr;
    qint64 written = 0;
    try {
        if (!encode(nullptr, 0, &block, &written))
            return -1;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Out of memory while encoding"));
    }
    std::unique_ptr<quint8, FreeBlock> owned(block);
    QString error;
    const auto fill = [block, written](QFileDevice& file, QString&) {
        return file.write(reinterpret_cast<const char*>(block), written) == written;
    };
    if (writeFileAtomically(FileName, fill, &error) != 0)
        return fail(QStringLiteral("Cannot write %1: %2").arg(FileName, error));
    return 0;
}

int TFastJPG::SaveStream(QIODevice* Stream)
{
    if (!Stream || !Stream->isWritable())
        return fail(QStringLiteral("The stream cannot be written"));
    quint8* block = nullptr;
    qint64 written = 0;
    try {
        if (!encode(nullptr, 0, &block, &written))
            return -1;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Out of memory while encoding"));
    }
    std::unique_ptr<quint8, FreeBlock> owned(block);
    if (Stream->write(reinterpret_cast<const char*>(block), written) != written)
        return fail(QStringLiteral("Cannot write to the stream: %1").arg(Stream->errorString()));
    return 0;
}

int LoadJPGStream(TFastDIB* image, QIODevice* stream, bool Smooth)
{
    Q_ASSERT(image);
    if (!image)
        return -1;
    TFastJPG jpg;
    jpg.AttachImage(image);
    jpg.Props.Smooth = Smooth;
    return jpg.LoadStream(stream);
}

int SaveJPGStream(TFastDIB* image, QIODevice* stream, int quality)
{
    Q_ASSERT(image);
    if (!image)
        return -1;
    TFastJPG jpg;
    jpg.AttachImage(image);
    jpg.Props.Quality = quint32(qBound(1, quality, 100));
    return jpg.SaveStream(stream);
}

qint64 FindJPGEnd(const quint8* memory, qint64 count)
{
    if (!memory || count < 2)
        return qMax<qint64>(count, 0) + 1;
    const quint8* p = memory;
    const quint8* const last = memory + count - 1; // a marker needs a byte after the 0xFF
    while (p < last) {
        p = static_cast<const quint8*>(std::memchr(p, 0xFF, std::size_t(last - p)));
        if (!p)
            break;
        if (p[1] == 0xD9)
            return (p - memory) + 1;
        ++p;
    }
    return count + 1;
}

int IJLCpuHint(const TProcessorInfo& info)
{
    int hint = 0;
    if (info.Vendor == QLatin1String("GenuineIntel")) {
        if (info.Family == 5)
            hint = 1;
        else if (info.Family == 6)
            hint = info.Model <= 1 ? 2 : 4;
    }
    if (info.FeatureFlags.testFlag(pfMMX) && hint < 3)
        hint = 3;
    if (info.FeatureFlags.testFlag(pfSSE))
        hint = 5;
    if (info.FeatureFlags.testFlag(pfSSE2))
        hint = 6;
    return hint;
}

int WriteIJLCpuHint()
{
    return IJLCpuHint(ProcessorInfo);
}

