#include "RichTextStream.h"

#include "AnsiCodePage.h"
#include "RtfReader.h"
#include "RtfText.h"
#include "RtfWriter.h"

#include <QStringDecoder>
#include <QTextDocument>

QString DecodePlainText(QByteArrayView Data) {
    QString text;
    if (Data.startsWith("\xFF\xFE")) {
        text = QStringDecoder(QStringDecoder::Utf16LE).decode(Data.sliced(2));
    } else if (Data.startsWith("\xFE\xFF")) {
        text = QStringDecoder(QStringDecoder::Utf16BE).decode(Data.sliced(2));
    } else if (Data.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(Data.sliced(3));
    } else {
        text = UnicodeFromAnsi(std::string_view(Data.data(), size_t(Data.size())));
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void LoadRichText(QByteArrayView Data, QTextDocument& Doc) {
    if (ReadRtf(Data, Doc))
        return;
    const bool undo = Doc.isUndoRedoEnabled();
    Doc.setUndoRedoEnabled(false);
    Doc.setPlainText(DecodePlainText(Data));
    Doc.setUndoRedoEnabled(undo);
}

QString PlainTextOfRichText(QByteArrayView Data) {
    if (IsRtf(Data))
        return RtfPlainText(Data);
    QString text = DecodePlainText(Data);
    // The document takes these as paragraph breaks too.
    BreaksAsNewlines(text);
    return text;
}

QStringView PlainTextOfRichText(QByteArrayView Data, TRtfText& Buffer) {
    if (IsRtf(Data)) {
        RtfPlainText(Data, Buffer);
    } else {
        Buffer.Clear();
        Buffer.Append(PlainTextOfRichText(Data));
    }
    return Buffer.View();
}

QByteArray SaveRichText(const QTextDocument& Doc) {
    return WriteRtf(Doc);
}
