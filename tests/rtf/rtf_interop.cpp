// Interop check helper (scripts/check-rtf-libreoffice.sh):
//   rtf_interop sample OUT.rtf      writes a formatted sample with our writer
//   rtf_interop check IN.html       reads IN.html (another program's rendering
//                                   of that RTF) with Qt's HTML reader and
//                                   reports every character whose text or
//                                   format differs from the sample's.
//   rtf_interop roundtrip IN.rtf OUT.rtf
//                                   reads IN.rtf with our reader, writes it
//                                   with our writer, and tells what was read.
//   rtf_interop compare A.html B.html
//                                   compares the structure of two renderings,
//                                   of a fixture (A) and of our round trip of
//                                   it (B): pictures and their sizes, list
//                                   items with their kind and level, table
//                                   cells (nested tables apart), link
//                                   targets, headers, footers, notes and
//                                   comments, and every word in order.

#include "DocTestUtil.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTextList>
#include <QTextStream>
#include <QTextTable>
#include <QUrl>

namespace {

struct TRun {
    const char16_t* Text;
    const char* Family;
    double Points;
    TFontStyles Styles;
    QRgb Color; // 0: automatic
    Qt::Alignment Align;
};

void BuildSample(QTextDocument& Doc) {
    const TFontStyles none;
    const TRun runs[] = {
        {u"Plain Liberation Serif at 12 points, ", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"bold", "Liberation Serif", 12, fsBold, 0, Qt::AlignLeft},
        {u", ", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"italic", "Liberation Serif", 12, fsItalic, 0, Qt::AlignLeft},
        {u", ", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"underlined", "Liberation Serif", 12, fsUnderline, 0, Qt::AlignLeft},
        {u", ", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"struck", "Liberation Serif", 12, fsStrikeOut, 0, Qt::AlignLeft},
        {u" and ", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"all four", "Liberation Serif", 12, fsBold | fsItalic | fsUnderline | fsStrikeOut, 0,
         Qt::AlignLeft},
        {u".\n", "Liberation Serif", 12, none, 0, Qt::AlignLeft},
        {u"Sans at 16 in ", "Liberation Sans", 16, none, 0, Qt::AlignHCenter},
        {u"red", "Liberation Sans", 16, none, qRgb(192, 0, 0), Qt::AlignHCenter},
        {u" and ", "Liberation Sans", 16, none, 0, Qt::AlignHCenter},
        {u"blue bold", "Liberation Sans", 16, fsBold, qRgb(0, 77, 187), Qt::AlignHCenter},
        {u", centred.\n", "Liberation Sans", 16, none, 0, Qt::AlignHCenter},
        {u"Mono 9, right: {braces} back\\slash café “quotes” € — Straße\n", "DejaVu Sans Mono", 9,
         none, 0, Qt::AlignRight},
        {u"Justified, beyond the code page: Привет, Ελληνικά, 中文, emoji 😀, line", "DejaVu Sans",
         11, none, 0, Qt::AlignJustify},
        {u"\u2028", "DejaVu Sans", 11, none, 0, Qt::AlignJustify},
        {u"break.", "DejaVu Sans", 11, fsItalic, 0, Qt::AlignJustify},
    };
    Doc.clear();
    QTextCursor c(&Doc);
    for (const TRun& r : runs) {
        QTextCharFormat f;
        f.setFontFamilies(QStringList{QString::fromLatin1(r.Family)});
        f.setFontPointSize(r.Points);
        f.setFontWeight(r.Styles.testFlag(fsBold) ? QFont::Bold : QFont::Normal);
        f.setFontItalic(r.Styles.testFlag(fsItalic));
        f.setFontUnderline(r.Styles.testFlag(fsUnderline));
        f.setFontStrikeOut(r.Styles.testFlag(fsStrikeOut));
        if (r.Color)
            f.setForeground(QColor(r.Color));
        QTextBlockFormat b = c.blockFormat();
        b.setAlignment(r.Align);
        c.setBlockFormat(b);
        const QStringList parts = QString::fromUtf16(r.Text).split(u'\n');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0)
                c.insertBlock(b, f);
            c.insertText(parts[i], f);
        }
    }
}

QString Describe(const QTextCharFormat& F, Qt::Alignment A) {
    return QStringLiteral("%1 %2pt style=%3 colour=%4 align=%5")
        .arg(FamilyOf(F))
        .arg(F.fontPointSize())
        .arg(int(StylesOf(F)))
        .arg(F.hasProperty(QTextFormat::ForegroundBrush) ? F.foreground().color().name()
                                                         : QStringLiteral("auto"))
        .arg(int(A));
}

int Check(const QString& HtmlPath) {
    QTextStream out(stdout);
    QTextDocument ours;
    BuildSample(ours);
    // In CSS an inner "text-decoration: none" cannot take away an outer
    // underline or strike-out, but Qt's HTML reader lets it; LibreOffice writes
    // such spans inside <u> and <strike>, so they are dropped before reading.
    // Qt's reader knows <s> but not the older <strike>.
    QString html = QString::fromUtf8(ReadFileBytes(HtmlPath));
    html.replace(QLatin1String("text-decoration: none"), QString());
    html.replace(QLatin1String("<strike>"), QLatin1String("<s>"), Qt::CaseInsensitive);
    html.replace(QLatin1String("</strike>"), QLatin1String("</s>"), Qt::CaseInsensitive);
    QTextDocument theirs;
    theirs.setHtml(html);
    const auto align = [](const QTextDocument& D, int Pos) {
        return AlignmentAt(D, Pos) & ~Qt::AlignAbsolute;
    };

    // Their HTML may end with an empty paragraph; text must match otherwise.
    const QString a = PlainTextOf(ours);
    QString b = PlainTextOf(theirs);
    while (b.size() > a.size() && b.endsWith(u'\n'))
        b.chop(1);
    if (a != b) {
        out << "text differs\n ours:   " << a << "\n theirs: " << b << "\n";
        return 1;
    }
    int errors = 0;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i] == u'\n' || a[i] == QChar(0x2028))
            continue;
        const QTextCharFormat fa = FormatAt(ours, i), fb = FormatAt(theirs, i);
        const QColor ca = fa.hasProperty(QTextFormat::ForegroundBrush) ? fa.foreground().color()
                                                                       : QColor(Qt::black);
        const QColor cb = fb.hasProperty(QTextFormat::ForegroundBrush) ? fb.foreground().color()
                                                                       : QColor(Qt::black);
        const bool same =
            FamilyOf(fa) == FamilyOf(fb) && qAbs(fa.fontPointSize() - fb.fontPointSize()) < 0.01 &&
            StylesOf(fa) == StylesOf(fb) && ca == cb && align(ours, i) == align(theirs, i);
        if (!same && errors++ < 20)
            out << "at " << i << " '" << a[i] << "': ours " << Describe(fa, align(ours, i))
                << " / theirs " << Describe(fb, align(theirs, i)) << "\n";
    }
    out << (errors ? "FAILED: " : "ok: ") << a.size() << " characters, " << errors << " differ\n";
    return errors ? 1 : 0;
}

// What a document holds, in document order.
struct TStructure {
    struct TPicture {
        QSize Size; // as shown, in pixels
        QSize Own;  // of the image itself; an 8x8 box where ours has none to show
        bool Found = true;
    };
    struct TListItem {
        bool Numbered = false;
        int Level = 0;
        QString Text;
    };
    struct TCell {
        QString Text;
        int RowSpan = 1, ColSpan = 1;
    };
    QList<TPicture> Pictures;
    QList<TListItem> ListItems;
    QList<QList<TCell>> Tables; // those in the body; a nested table is in its cell's text
    int NestedTables = 0;
    QStringList Links;
    // Headers, footers, footnotes, endnotes and comments, as the HTML
    // rendering has them: "kind: words".
    QStringList Notes;
    QStringList Words;
};

QString Simplified(QString S) {
    S.remove(QChar::ObjectReplacementCharacter);
    // Where a nested table's cells begin and end.
    S.replace(QChar(0xFDD0), u' ');
    S.replace(QChar(0xFDD1), u' ');
    S.replace(QChar::ParagraphSeparator, u' ');
    S.replace(QChar::LineSeparator, u' ');
    return S.simplified();
}

TStructure StructureOf(QTextDocument& Doc) {
    TStructure s;
    QList<QTextTable*> tables;
    QString lastHref;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
        if (QTextList* l = b.textList()) {
            const QTextListFormat::Style st = l->format().style();
            const bool numbered = st != QTextListFormat::ListDisc &&
                                  st != QTextListFormat::ListCircle &&
                                  st != QTextListFormat::ListSquare;
            s.ListItems.append({numbered, l->format().indent(), Simplified(b.text())});
        }
        if (QTextTable* t = QTextCursor(b).currentTable(); t && !tables.contains(t))
            tables.append(t);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            if (cf.isImageFormat()) {
                const QTextImageFormat img = cf.toImageFormat();
                const QVariant res = Doc.resource(QTextDocument::ImageResource, QUrl(img.name()));
                QSize own;
                if (res.canConvert<QImage>())
                    own = res.value<QImage>().size();
                if (own.isEmpty() && res.canConvert<QByteArray>())
                    own = QImage::fromData(res.toByteArray()).size();
                TStructure::TPicture p;
                p.Found = !own.isEmpty();
                p.Own = own;
                p.Size = QSize(img.width() > 0 ? qRound(img.width()) : own.width(),
                               img.height() > 0 ? qRound(img.height()) : own.height());
                for (int i = 1; i < f.length(); ++i)
                    s.Pictures.append(p);
                s.Pictures.append(p);
            }
            // One link may span fragments of several formats.
            const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
            if (!href.isEmpty() && href != lastHref)
                s.Links.append(href);
            lastHref = href;
        }
    }
    for (QTextTable* t : tables) {
        bool nested = false;
        for (QTextFrame* f = t->parentFrame(); f && !nested; f = f->parentFrame())
            nested = qobject_cast<QTextTable*>(f) != nullptr;
        if (nested) {
            ++s.NestedTables;
            continue;
        }
        QList<TStructure::TCell> cells;
        for (int r = 0; r < t->rows(); ++r)
            for (int c = 0; c < t->columns(); ++c) {
                const QTextTableCell cell = t->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue; // covered by a merged cell
                QTextCursor cur = cell.firstCursorPosition();
                cur.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells.append({Simplified(cur.selectedText()), cell.rowSpan(), cell.columnSpan()});
            }
        s.Tables.append(cells);
    }
    static const QRegularExpression nonWord(QStringLiteral("\\W+"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    s.Words = PlainTextOf(Doc).split(nonWord, Qt::SkipEmptyParts);
    return s;
}

QString PicturesText(const TStructure& S) {
    QStringList l;
    for (const TStructure::TPicture& p : S.Pictures)
        l << QStringLiteral("%1x%2 (%3)")
                 .arg(p.Size.width())
                 .arg(p.Size.height())
                 .arg(p.Found ? QStringLiteral("image %1x%2").arg(p.Own.width()).arg(p.Own.height())
                              : QStringLiteral("no image"));
    return QStringLiteral("%1 [%2]").arg(S.Pictures.size()).arg(l.join(u", "));
}

QString ListText(const TStructure& S) {
    QStringList l;
    for (const TStructure::TListItem& i : S.ListItems)
        l << QStringLiteral("%1/%2 \"%3\"")
                 .arg(i.Numbered ? QStringLiteral("numbered") : QStringLiteral("bullet"))
                 .arg(i.Level)
                 .arg(i.Text);
    return QStringLiteral("%1 [%2]").arg(S.ListItems.size()).arg(l.join(u", "));
}

QString CellsText(const QList<TStructure::TCell>& Cells) {
    QStringList l;
    for (const TStructure::TCell& c : Cells)
        l << (c.RowSpan > 1 || c.ColSpan > 1
                  ? QStringLiteral("%1 (%2x%3)").arg(c.Text).arg(c.RowSpan).arg(c.ColSpan)
                  : c.Text);
    return QStringLiteral("%1 cells [%2]").arg(Cells.size()).arg(l.join(u" | "));
}

QString TablesText(const TStructure& S) {
    QStringList l;
    for (const QList<TStructure::TCell>& t : S.Tables)
        l << CellsText(t);
    QString text = QStringLiteral("%1 [%2]").arg(S.Tables.size()).arg(l.join(u"; "));
    if (S.NestedTables)
        text += QStringLiteral(", %1 nested").arg(S.NestedTables);
    return text;
}

QString LinksText(const TStructure& S) {
    return QStringLiteral("%1 [%2]").arg(S.Links.size()).arg(S.Links.join(u", "));
}

void PrintSummary(QTextStream& Out, const TStructure& S) {
    Out << "  pictures   " << PicturesText(S) << "\n"
        << "  list items " << ListText(S) << "\n"
        << "  tables     " << TablesText(S) << "\n"
        << "  links      " << LinksText(S) << "\n"
        << "  words      " << S.Words.size() << "\n";
}

int RoundTrip(const QString& In, const QString& Out) {
    QTextStream out(stdout);
    QTextDocument doc;
    if (!ReadRtf(ReadFileBytes(In), doc)) {
        out << "  not RTF: " << In << "\n";
        return 1;
    }
    QFile f(Out);
    if (!f.open(QIODevice::WriteOnly))
        return 2;
    f.write(WriteRtf(doc));
    out << " read by us:\n";
    PrintSummary(out, StructureOf(doc));
    return 0;
}

// LibreOffice writes a comment's text as an HTML comment where its range
// ends; headers and footers as divs titled so, and notes as divs at the end.
const QRegularExpression& NotePattern() {
    static const QRegularExpression re(
        QStringLiteral("<!--(.*?)-->|<div title=\"(header|footer)\"[^>]*>(.*?)</div>|"
                       "<div id=\"sd(foot|end)note\\d+\"[^>]*>(.*?)</div>"),
        QRegularExpression::DotMatchesEverythingOption);
    return re;
}

QString Body(const QString& Html) {
    const qsizetype at = Html.indexOf(QLatin1String("<body"), 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : Html.mid(at);
}

QStringList NotesOf(const QString& Html) {
    QStringList notes;
    for (const QRegularExpressionMatch& m : NotePattern().globalMatch(Body(Html))) {
        QString kind, html;
        if (m.capturedLength(2)) {
            kind = m.captured(2);
            html = m.captured(3);
        } else if (m.capturedLength(4)) {
            kind = m.captured(4) + QLatin1String("note");
            html = m.captured(5);
        } else {
            notes << QLatin1String("comment: ") + m.captured(1).simplified();
            continue;
        }
        QTextDocument d;
        d.setHtml(html);
        notes << kind + QLatin1String(": ") + Simplified(d.toPlainText());
    }
    return notes;
}

// A rendering in HTML, read by Qt with the pictures beside it; comments'
// words are made text, as Qt's reader drops HTML comments. Returns the HTML.
QString ReadHtml(const QString& Path, QTextDocument& Doc) {
    const QString html = QString::fromUtf8(ReadFileBytes(Path));
    const QString body = Body(html);
    QString shown = html.left(html.size() - body.size());
    static const QRegularExpression comment(QStringLiteral("<!--(.*?)-->"),
                                            QRegularExpression::DotMatchesEverythingOption);
    qsizetype from = 0;
    for (const QRegularExpressionMatch& m : comment.globalMatch(body)) {
        shown += body.mid(from, m.capturedStart() - from);
        shown +=
            QLatin1String(" <span>") + m.captured(1).toHtmlEscaped() + QLatin1String("</span> ");
        from = m.capturedEnd();
    }
    shown += body.mid(from);
    Doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(Path).absolutePath() + u'/'));
    Doc.setHtml(shown);
    return html;
}

// Every word of A missing from B and every extra one, by the longest common
// subsequence: one line per run, with where it stands in A or B.
QStringList WordDiff(const QStringList& A, const QStringList& B) {
    qsizetype head = 0;
    while (head < A.size() && head < B.size() && A[head] == B[head])
        ++head;
    qsizetype tail = 0;
    while (tail < A.size() - head && tail < B.size() - head &&
           A[A.size() - 1 - tail] == B[B.size() - 1 - tail])
        ++tail;
    const qsizetype n = A.size() - head - tail, m = B.size() - head - tail;
    // Lcs[i][j]: the common length of A's and B's middles from i and j on.
    QList<QList<int>> lcs(n + 1, QList<int>(m + 1, 0));
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            lcs[i][j] = A[head + i] == B[head + j] ? lcs[i + 1][j + 1] + 1
                                                   : qMax(lcs[i + 1][j], lcs[i][j + 1]);
    QStringList out;
    QStringList missing, extra;
    qsizetype missingAt = 0, extraAt = 0;
    const auto flush = [&] {
        if (!missing.isEmpty())
            out << QStringLiteral("missing at word %1 of the original: %2")
                       .arg(missingAt + 1)
                       .arg(missing.join(u' '));
        if (!extra.isEmpty())
            out << QStringLiteral("extra at word %1 of the round trip: %2")
                       .arg(extraAt + 1)
                       .arg(extra.join(u' '));
        missing.clear();
        extra.clear();
    };
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && A[head + i] == B[head + j]) {
            flush();
            ++i;
            ++j;
        } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
            if (extra.isEmpty())
                extraAt = head + j;
            extra << B[head + j++];
        } else {
            if (missing.isEmpty())
                missingAt = head + i;
            missing << A[head + i++];
        }
    }
    flush();
    return out;
}

// Sizes go through twips and back, and each program rounds them its own way.
bool SameSize(QSize A, QSize B) {
    const auto near = [](int X, int Y) { return qAbs(X - Y) <= qMax(2, qMax(X, Y) / 20); };
    return near(A.width(), B.width()) && near(A.height(), B.height());
}

int Compare(const QString& Theirs, const QString& Ours) {
    QTextStream out(stdout);
    QTextDocument a, b;
    const QString htmlA = ReadHtml(Theirs, a), htmlB = ReadHtml(Ours, b);
    TStructure sa = StructureOf(a), sb = StructureOf(b);
    sa.Notes = NotesOf(htmlA);
    sb.Notes = NotesOf(htmlB);
    QStringList failed;
    const auto line = [&](const char* What, bool Same, const QString& A, const QString& B) {
        out << "  " << QString::fromLatin1(What).leftJustified(10) << (Same ? " ok   " : " DIFF ");
        if (Same)
            out << A << "\n";
        else
            out << "\n      original:  " << A << "\n      round trip: " << B << "\n";
        if (!Same)
            failed << QString::fromLatin1(What);
    };

    bool pictures = sa.Pictures.size() == sb.Pictures.size();
    for (qsizetype i = 0; pictures && i < sa.Pictures.size(); ++i)
        pictures = sa.Pictures[i].Found == sb.Pictures[i].Found &&
                   SameSize(sa.Pictures[i].Size, sb.Pictures[i].Size) &&
                   SameSize(sa.Pictures[i].Own, sb.Pictures[i].Own);
    line("pictures", pictures, PicturesText(sa), PicturesText(sb));

    bool lists = sa.ListItems.size() == sb.ListItems.size();
    for (qsizetype i = 0; lists && i < sa.ListItems.size(); ++i)
        lists = sa.ListItems[i].Numbered == sb.ListItems[i].Numbered &&
                sa.ListItems[i].Level == sb.ListItems[i].Level &&
                sa.ListItems[i].Text == sb.ListItems[i].Text;
    line("list items", lists, ListText(sa), ListText(sb));

    // Per table, the cells and their text (a nested table's words stay in
    // its cell, as the editor reads it into paragraphs there); spans are shown but not compared, as
    // LibreOffice renders a merge against its own column grid.
    bool tables = sa.Tables.size() == sb.Tables.size();
    for (qsizetype t = 0; tables && t < sa.Tables.size(); ++t) {
        tables = sa.Tables[t].size() == sb.Tables[t].size();
        for (qsizetype c = 0; tables && c < sa.Tables[t].size(); ++c)
            tables = sa.Tables[t][c].Text == sb.Tables[t][c].Text;
    }
    line("tables", tables, TablesText(sa), TablesText(sb));

    line("links", sa.Links == sb.Links, LinksText(sa), LinksText(sb));

    const auto notesText = [](const QStringList& N) {
        return QStringLiteral("%1 [%2]").arg(N.size()).arg(N.join(u" | "));
    };
    line("notes", sa.Notes == sb.Notes, notesText(sa.Notes), notesText(sb.Notes));

    const QStringList diff = WordDiff(sa.Words, sb.Words);
    line("words", diff.isEmpty(), QString::number(sa.Words.size()),
         QStringLiteral("%1\n        %2").arg(sb.Words.size()).arg(diff.join(u"\n        ")));

    out << (failed.isEmpty() ? " same\n" : " DIFFERS in " + failed.join(u", ") + u'\n');
    return failed.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("sample")) {
        QTextDocument doc;
        BuildSample(doc);
        QFile f(args[2]);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write(WriteRtf(doc));
        return 0;
    }
    if (args.size() == 3 && args[1] == QLatin1String("check"))
        return Check(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("roundtrip"))
        return RoundTrip(args[2], args[3]);
    if (args.size() == 4 && args[1] == QLatin1String("compare"))
        return Compare(args[2], args[3]);
    QTextStream(stderr) << "usage: rtf_interop sample OUT.rtf | check IN.html | roundtrip IN.rtf "
                           "OUT.rtf | compare A.html B.html\n";
    return 2;
}
