#pragma once
// Writes a QTextDocument as compact RTF in the rich-edit control's own shape,
// which Word, LibreOffice and the rich-edit control all open. The reader reads
// it back to the same text and formatting, and reading then writing it again
// gives the same bytes.

#include <QByteArray>

class QTextDocument;

QByteArray WriteRtf(const QTextDocument& Doc);
