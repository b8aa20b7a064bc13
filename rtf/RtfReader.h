#pragma once
// Reads an RTF document into a QTextDocument: what the Windows rich-edit
// control writes (versions 2 to 8) and what word processors write.
//
// A pure function of the bytes. It is iterative with a bounded group stack, and
// its tables, words and numbers are bounded, so damaged or hostile input can
// neither exhaust the stack nor make memory grow beyond the input's size.

#include <QByteArrayView>
#include <QString>

class QTextDocument;
class TRtfText;

// Deeper groups are counted but keep their parent's state.
constexpr int kRtfMaxGroupDepth = 256;
constexpr int kRtfMaxFonts = 1024;
constexpr int kRtfMaxColors = 1024;
constexpr int kRtfMaxFontName = 256;

// True when Data starts as an RTF document ("{\rtf").
bool IsRtf(QByteArrayView Data);

// Replaces Doc's content with the document in Data and returns true; returns
// false and leaves Doc alone when Data is not RTF. Damaged RTF is read as far as
// it makes sense: unknown words are ignored, an extra '}' ends the document,
// groups still open at the end are closed. Undo history is not kept.
bool ReadRtf(QByteArrayView Data, QTextDocument& Doc);

// Raw text with each paragraph break, and each mark where a table or one of
// its cells begins or ends, as '\n', in place: positions stay as they are.
void BreaksAsNewlines(QString& Text);
// A document's text so: the editor's text, and what search reads.
QString DocumentText(const QTextDocument& Doc);

// What search reads of a document: its text as DocumentText gives it, then
// the words of its kept groups (headers, footers, notes, comments; see
// RtfNotes.h).
QString SearchText(const QTextDocument& Doc);

// The text that ReadRtf would give a document, as SearchText reads it,
// without building the document; "" when Data
// is not RTF.
QString RtfPlainText(QByteArrayView Data);
// The same, written into Out in place of what it held.
void RtfPlainText(QByteArrayView Data, TRtfText& Out);
