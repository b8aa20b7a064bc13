#include "RtfFields.h"

#include <QByteArray>

namespace {

// The next argument of an instruction: a quoted string or a word.
QString NextToken(QStringView S, qsizetype& At) {
    while (At < S.size() && S[At].isSpace())
        ++At;
    if (At >= S.size())
        return {};
    QString out;
    if (S[At] == u'"') {
        for (++At; At < S.size() && S[At] != u'"'; ++At)
            out += S[At];
        ++At;
        return out;
    }
    while (At < S.size() && !S[At].isSpace())
        out += S[At++];
    return out;
}

} // namespace

QString HyperlinkTarget(QStringView Instruction) {
    qsizetype at = 0;
    if (NextToken(Instruction, at).compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return {};
    QString target, bookmark;
    while (at < Instruction.size()) {
        const QString t = NextToken(Instruction, at);
        if (t.isEmpty())
            break;
        if (t.size() == 2 && t[0] == u'\\') {
            // Switches with an argument: a bookmark, a tooltip, a frame.
            const QString arg = NextToken(Instruction, at);
            if (t[1] == u'l')
                bookmark = arg;
        } else if (target.isEmpty()) {
            target = t;
        }
    }
    if (!bookmark.isEmpty())
        return target + u'#' + bookmark;
    return target;
}

QByteArray HyperlinkInstruction(QStringView Target) {
    // A quote would end the target early; it stands in a URL as %22.
    QByteArray out = "HYPERLINK \"";
    for (const QChar c : Target) {
        const char16_t u = c.unicode();
        if (u == u'"') {
            out += "%22";
        } else if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u >= 0x20 && u < 0x80) {
            out += char(u);
        } else {
            out += "\\u" + QByteArray::number(int(int16_t(u))) + '?';
        }
    }
    out += '"';
    return out;
}
