// Interop check helper (scripts/check-rtf-libreoffice.sh):
//   rtf_interop sample OUT.rtf      writes a formatted sample with our writer
//   rtf_interop check IN.html       reads IN.html (another program's rendering
//                                   of that RTF) with Qt's HTML reader and
//                                   reports every character whose text or
//                                   format differs from the sample's.

#include "DocTestUtil.h"
#include "RtfWriter.h"

#include <QGuiApplication>
#include <QTextStream>

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
    QTextStream(stderr) << "usage: rtf_interop sample OUT.rtf | check IN.html\n";
    return 2;
}
