#pragma once
// How a page's pictures and kept groups stand in a QTextDocument. Each is one
// image object (one U+FFFC in the text), whose format carries what is needed
// to write it back: the RTF reader makes them, pasting and dropping make
// them, and the RTF writer writes them. Nothing else may be stored as an
// image: a picture without its bytes could not be saved.

#include <QTextFormat>

namespace TextObjects {

// The picture's file as it came, PNG or JPEG, never re-encoded: a QByteArray.
constexpr int kPictureBytes = QTextFormat::UserProperty + 1;
// What kPictureBytes holds: a TPictureType.
constexpr int kPictureType = QTextFormat::UserProperty + 2;
// A whole RTF group, from its '{' to its '}', that is written back byte for
// byte in the object's place (metafiles, bitmaps, and other groups the editor
// shows only as a mark): a QByteArray. An object with it needs no picture bytes.
constexpr int kKeptGroup = QTextFormat::UserProperty + 3;
// The picture's own size in pixels (\picw, \pich), when it differs from the
// decoded image's: an int each.
constexpr int kPictureWidth = QTextFormat::UserProperty + 4;
constexpr int kPictureHeight = QTextFormat::UserProperty + 5;

// A kept group that the page shows only as a mark (a header, a footer, a
// note, a comment): its TRtfNoteKind, an int, and its words, a QString.
constexpr int kKeptKind = QTextFormat::UserProperty + 6;
constexpr int kKeptWords = QTextFormat::UserProperty + 7;

enum TPictureType : int { ptNone = 0, ptPng = 1, ptJpeg = 2 };

// The image resource names of these objects start with this scheme; the
// document holds the decoded (or drawn) image under that name. Names of other
// schemes are never loaded: the editor stays offline.
inline constexpr char kResourceScheme[] = "vmr-object";

// The shown size: QTextImageFormat::width() and height(), in pixels at 96 per
// inch, that is twips / 15.
constexpr double kTwipsPerPixel = 15.0;

} // namespace TextObjects
