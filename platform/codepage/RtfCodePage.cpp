#include "RtfCodePage.h"

#include "AnsiCodePage.h"

#include <QHash>
#include <QTextCodec>

namespace {

struct TCharsetCodePage {
    int Charset;
    int CodePage;
};

constexpr TCharsetCodePage kCharsets[] = {
    {0, 1252},   {2, CP_SYMBOL}, {77, 10000}, {128, 932},  {129, 949},  {130, 1361},
    {134, 936},  {136, 950},     {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255},
    {178, 1256}, {186, 1257},    {204, 1251}, {222, 874},  {238, 1250}, {255, 437},
};

const char* CodecName(int CodePage) {
    switch (CodePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1361:
        return "johab";
    case 10000:
        return "macintosh";
    default:
        return nullptr;
    }
}

QTextCodec* CodecOf(int CodePage) {
    // Looked up once per code page and thread; the codecs live as long as the
    // process.
    thread_local QHash<int, QTextCodec*> cache;
    const auto it = cache.constFind(CodePage);
    if (it != cache.constEnd())
        return *it;
    QTextCodec* codec = nullptr;
    if (const char* name = CodecName(CodePage))
        codec = QTextCodec::codecForName(name);
    else if (CodePage >= 1250 && CodePage <= 1258)
        codec = QTextCodec::codecForName(QByteArray("windows-") + QByteArray::number(CodePage));
    cache.insert(CodePage, codec);
    return codec;
}

// Symbol fonts place their bullets where Windows-1252 has other characters.
QString DecodeSymbol(std::string_view Bytes) {
    QString s = UnicodeFromAnsi(Bytes);
    for (QChar& c : s) {
        if (c.unicode() == 0xB7)
            c = QChar(0x2022);
        else if (c.unicode() == 0xA7)
            c = QChar(0x25AA);
    }
    return s;
}

} // namespace

int CodePageOfCharset(int Charset, int AnsiCodePage) {
    for (const TCharsetCodePage& e : kCharsets)
        if (e.Charset == Charset)
            return e.CodePage;
    return AnsiCodePage;
}

QString DecodeCodePage(int CodePage, std::string_view Bytes) {
    switch (CodePage) {
    case CP_WINDOWS_1252:
        return UnicodeFromAnsi(Bytes);
    case CP_SYMBOL:
        return DecodeSymbol(Bytes);
    case CP_UTF8:
        return QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size()));
    default:
        break;
    }
    if (QTextCodec* codec = CodecOf(CodePage))
        return codec->toUnicode(Bytes.data(), int(Bytes.size()));
    return UnicodeFromAnsi(Bytes);
}
