#include "TextSearch.h"

#include <algorithm>

namespace {

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

int FindInText(const QString& Text, const QString& SearchStr, int StartPos, int Length,
               TSearchTypes Options) {
    QString needle = SearchStr;
    needle.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    needle.replace(u'\r', u'\n');
    if (needle.isEmpty())
        return -1;
    const qsizetype size = Text.size();
    const qsizetype from = std::clamp<qsizetype>(StartPos, 0, size);
    const qsizetype to =
        Length < 0 ? size : std::clamp<qsizetype>(qsizetype(StartPos) + Length, from, size);
    const Qt::CaseSensitivity cs =
        Options.testFlag(stMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringView range = QStringView(Text).left(to);
    for (qsizetype at = range.indexOf(needle, from, cs); at >= 0 && at + needle.size() <= to;
         at = range.indexOf(needle, at + 1, cs)) {
        if (Options.testFlag(stWholeWord)) {
            const qsizetype end = at + needle.size();
            if ((at > 0 && IsWordChar(Text[at - 1])) || (end < size && IsWordChar(Text[end])))
                continue;
        }
        return int(at);
    }
    return -1;
}
