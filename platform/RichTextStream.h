#pragma once
// Page bodies in and out of a QTextDocument, as the rich-text editor streams
// them: RTF out; RTF in, or plain text when the bytes are not RTF.

#include <QByteArray>
#include <QString>

class QTextDocument;
class TRtfText;

// Plain text: a byte-order mark selects UTF-16 LE, UTF-16 BE or UTF-8; other
// bytes are Windows-1252. CR LF and lone CR become paragraph breaks.
QString DecodePlainText(QByteArrayView Data);

// Replaces Doc's content with Data read as RTF, or as plain text when Data is
// not RTF. Undo history is not kept.
void LoadRichText(QByteArrayView Data, QTextDocument& Doc);

// The text that LoadRichText gives Doc, as Doc's raw text with each paragraph
// break as '\n' (the rich-text editor's Text()), without building a document.
QString PlainTextOfRichText(QByteArrayView Data);
// The same, written into Buffer in place of what it held, and seen through
// the view returned. One buffer for many bodies allocates only for a text
// longer than all before it.
QStringView PlainTextOfRichText(QByteArrayView Data, TRtfText& Buffer);

// The whole document as an RTF document.
QByteArray SaveRichText(const QTextDocument& Doc);
