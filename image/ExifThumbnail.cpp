// EXIF thumbnail lookup; libexif walks the markers and the IFDs within the bytes it is given.
#include "image/ExifThumbnail.h"

#include <libexif/exif-data.h>

#include <climits>
#include <memory>

namespace {

struct ExifDataUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

} // namespace

QByteArray ReadExifThumbnail(const quint8* data, qint64 size)
{
    if (!data || size <= 0)
        return {};
    // The EXIF block sits among the first markers and is at most 64 KB, so the length given to
    // libexif (an unsigned int) may be cut without losing it.
    const auto length = static_cast<unsigned int>(qMin<qint64>(size, UINT_MAX));

    std::unique_ptr<ExifData, ExifDataUnref> exif(exif_data_new());
    if (!exif)
        return {};
    // Reading only: no tags added or corrected, maker notes left as they are.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(exif.get(), data, length);

    const unsigned char* thumb = exif->data;
    const unsigned int thumbSize = exif->size;
    if (!thumb || thumbSize < 4 || thumb[0] != 0xFF || thumb[1] != 0xD8)
        return {};
    return QByteArray(reinterpret_cast<const char*>(thumb), static_cast<qsizetype>(thumbSize));
}
