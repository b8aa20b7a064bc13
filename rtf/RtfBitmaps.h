#pragma once
// Bitmaps inside the picture kinds that the rich-edit control writes for
// pasted screenshots: a Windows metafile that only wraps one device-independent
// bitmap (\wmetafile), and such a bitmap on its own (\dibitmap). Every size in
// them is checked against the data; what cannot be read safely is not drawn.

#include <QByteArrayView>
#include <QImage>

// A device-independent bitmap: BITMAPINFOHEADER, colour table, pixels.
// Null when it is damaged, compressed or larger than the decoding limit.
QImage DibImage(QByteArrayView Dib);

// The one bitmap a Windows metafile (from its METAHEADER on) draws, when it
// draws nothing else; null otherwise.
QImage MetafileBitmap(QByteArrayView Metafile);
