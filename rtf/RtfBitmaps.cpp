#include "RtfBitmaps.h"

#include "RtfPictures.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstdint>

namespace {

// Little-endian reads; the caller has checked that the bytes are there.
uint32_t U16(QByteArrayView D, qsizetype At) {
    return uint32_t(uint8_t(D[At])) | uint32_t(uint8_t(D[At + 1])) << 8;
}

uint32_t U32(QByteArrayView D, qsizetype At) {
    return U16(D, At) | U16(D, At + 2) << 16;
}

void PutU32(QByteArray& Out, uint32_t V) {
    for (int i = 0; i < 4; ++i)
        Out.append(char(V >> (8 * i)));
}

constexpr qsizetype kInfoHeader = 40;
constexpr uint32_t kRgb = 0, kBitFields = 3;

} // namespace

QImage DibImage(QByteArrayView Dib) {
    const qsizetype n = Dib.size();
    if (n < kInfoHeader)
        return {};
    const uint32_t headerSize = U32(Dib, 0);
    if (headerSize < kInfoHeader || headerSize > uint32_t(n))
        return {};
    const int64_t width = int32_t(U32(Dib, 4));
    const int64_t height = int32_t(U32(Dib, 8));
    const uint32_t planes = U16(Dib, 12), bits = U16(Dib, 14), compression = U32(Dib, 16);
    const uint32_t colours = U32(Dib, 32);
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0 || planes != 1)
        return {};
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return {};
    if (compression != kRgb && !(compression == kBitFields && (bits == 16 || bits == 32)))
        return {};
    // Decoded, each pixel takes four bytes.
    if (width > kRtfMaxPictureSide * 4 || rows > kRtfMaxPictureSide * 4 ||
        width * rows * 4 > (int64_t(kRtfPictureAllocationMb) << 20))
        return {};
    int64_t entries = colours;
    if (bits <= 8) {
        if (colours > (1u << bits))
            return {};
        if (colours == 0)
            entries = int64_t(1) << bits;
    } else if (colours > 256) {
        return {};
    }
    const int64_t masks = compression == kBitFields && headerSize == kInfoHeader ? 12 : 0;
    const int64_t pixels = headerSize + masks + entries * 4;
    const int64_t rowBytes = (width * bits + 31) / 32 * 4;
    if (pixels + rowBytes * rows > n)
        return {};
    // A BITMAPFILEHEADER in front makes it a BMP file.
    QByteArray file("BM");
    PutU32(file, uint32_t(14 + n));
    PutU32(file, 0);
    PutU32(file, uint32_t(14 + pixels));
    file.append(Dib.data(), n);
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAllocationLimit(kRtfPictureAllocationMb);
    return reader.read();
}

namespace {

// Where a record's bitmap starts among its parameters, for the records that
// carry one; with the offset of its colour usage, or -1 when it has none.
struct TBitmapRecord {
    uint32_t Function;
    qsizetype Dib;
    qsizetype Usage;
};
constexpr TBitmapRecord kBitmapRecords[] = {
    {0x0F43, 22, 4},  // META_STRETCHDIB
    {0x0B41, 20, -1}, // META_DIBSTRETCHBLT
    {0x0940, 16, -1}, // META_DIBBITBLT
    {0x0D33, 18, 0},  // META_SETDIBTODEV
};

// Records that set state or make objects, and draw nothing.
bool DrawsNothing(uint32_t Function) {
    static constexpr uint16_t kStateRecords[] = {
        0x001E, 0x0035, 0x00F7, 0x0102, 0x0103, 0x0104, 0x0105, 0x0106, 0x0107,
        0x0108, 0x0127, 0x012C, 0x012D, 0x012E, 0x0149, 0x01F0, 0x0201, 0x0209,
        0x020A, 0x020B, 0x020C, 0x020D, 0x020E, 0x020F, 0x0211, 0x0231, 0x0234,
        0x02FA, 0x02FB, 0x02FC, 0x0410, 0x0412, 0x0416, 0x0626};
    for (uint16_t f : kStateRecords)
        if (f == Function)
            return true;
    return false;
}

constexpr uint32_t kPaletteIndices = 1; // DIB_PAL_COLORS: no colours of its own

} // namespace

QImage MetafileBitmap(QByteArrayView Metafile) {
    const qsizetype n = Metafile.size();
    constexpr qsizetype kHeader = 18;
    if (n < kHeader)
        return {};
    const uint32_t type = U16(Metafile, 0), headerWords = U16(Metafile, 2);
    if ((type != 1 && type != 2) || headerWords != kHeader / 2)
        return {};
    QByteArrayView dib;
    bool found = false;
    qsizetype at = kHeader;
    while (at + 6 <= n) {
        const int64_t size = int64_t(U32(Metafile, at)) * 2;
        const uint32_t function = U16(Metafile, at + 4);
        if (size < 6 || size > n - at)
            return {};
        if (function == 0)
            break;
        const QByteArrayView params = Metafile.sliced(at + 6, qsizetype(size) - 6);
        at += qsizetype(size);
        const TBitmapRecord* record = nullptr;
        for (const TBitmapRecord& r : kBitmapRecords)
            if (r.Function == function)
                record = &r;
        if (!record) {
            if (!DrawsNothing(function))
                return {};
            continue;
        }
        if (found || params.size() < record->Dib)
            return {};
        if (record->Usage >= 0 && U16(params, record->Usage) == kPaletteIndices)
            return {};
        dib = params.sliced(record->Dib);
        found = true;
    }
    return found ? DibImage(dib) : QImage();
}
