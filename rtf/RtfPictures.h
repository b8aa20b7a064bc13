#pragma once
// Pictures in RTF: the {\pict ...} group read into an image object of the
// document (see TextObjects.h), and an image object written back as one.

#include <QByteArray>
#include <QByteArrayView>
#include <QTextImageFormat>

#include <cstdint>
#include <optional>

class QImage;

class QTextDocument;

// Pictures shown larger than this, in pixels each way, are shown at it.
constexpr int kRtfMaxPictureSide = 16384;
// Decoding a picture may take at most this much memory; a larger one is shown
// as a box of its size, and its bytes are kept all the same.
constexpr int kRtfPictureAllocationMb = 256;

// One {\pict ...} group while it is read.
struct TRtfPicture {
    enum TKind : uint8_t { pkNone, pkPng, pkJpeg, pkOther };
    TKind Kind = pkNone;
    int32_t PicW = 0, PicH = 0;   // own size: pixels, or 0.01 mm for metafiles
    int32_t GoalW = 0, GoalH = 0; // wanted size in twips
    int32_t ScaleX = 100, ScaleY = 100;
    QByteArray Bytes; // the data, hex decoded
    int Nibble = -1;  // a first hex digit waiting for its second

    void AddHex(char C);
    void AddBinary(const char* P, qsizetype N);
};

// The image object of a picture read from Group, the whole {\pict ...} group
// as it stands in the input. Its image is added to Doc as a resource; nothing
// is added when Doc is null. A metafile that only wraps one bitmap, and a
// \dibitmap, show that bitmap; other kept kinds show a box.
QTextImageFormat PictureFormat(const TRtfPicture& P, QByteArrayView Group, QTextDocument* Doc);

// The name of the document resource that shows an object of this content.
QString ObjectResourceName(QByteArrayView Content);

// The RTF group that stands for an image object in a page: the kept group as
// it was read, or a \pngblip or \jpegblip picture of the object's bytes; empty
// for an image that carries neither.
QByteArray PictureGroup(const QTextImageFormat& F);

// The image object of a picture file that is pasted or dropped: PNG and JPEG
// are kept as they came, any other image that Qt reads is stored as PNG.
// Nothing when Bytes hold no image that can be decoded within the limit.
std::optional<QTextImageFormat> PictureOfFile(const QByteArray& Bytes, QTextDocument* Doc);
// The same for an image that comes decoded (from the clipboard), stored as PNG.
std::optional<QTextImageFormat> PictureOfImage(const QImage& Image, QTextDocument* Doc);
