#include "VersionBlock.h"
#include "VersionResource.h"
#include "kel_osutils.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace {

struct TSection {
    QByteArray Name;
    QByteArray Data;
    uint32_t Type = 1; // PROGBITS; 8 is NOBITS
};

// A minimal ELF file: header, section data, the name table, the section table.
QByteArray MakeElf(const QList<TSection>& Sections, bool Wide = true, bool BigEndian = false) {
    const int headerSize = Wide ? 64 : 52;
    const int entSize = Wide ? 64 : 40;
    QByteArray f(headerSize, '\0');
    const auto put = [&](qsizetype at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            f[at + (BigEndian ? bytes - 1 - i : i)] = char((v >> (8 * i)) & 0xFF);
    };
    f[0] = 0x7F;
    f[1] = 'E';
    f[2] = 'L';
    f[3] = 'F';
    f[4] = Wide ? 2 : 1;
    f[5] = BigEndian ? 2 : 1;
    f[6] = 1;

    QByteArray names("\0", 1);
    QList<uint64_t> nameAt, dataAt;
    for (const TSection& s : Sections) {
        nameAt.append(uint64_t(names.size()));
        names += s.Name + '\0';
        while (f.size() % 4)
            f += '\0';
        dataAt.append(uint64_t(f.size()));
        f += s.Data;
    }
    const uint64_t namesName = uint64_t(names.size());
    names += QByteArray(".shstrtab") + '\0';
    const uint64_t namesAt = uint64_t(f.size());
    f += names;
    while (f.size() % 8)
        f += '\0';
    const uint64_t shoff = uint64_t(f.size());
    const int count = int(Sections.size()) + 2;
    f += QByteArray(qsizetype(count) * entSize, '\0');
    const auto section = [&](int i, uint64_t name, uint32_t type, uint64_t at, uint64_t size) {
        const qsizetype e = qsizetype(shoff) + qsizetype(i) * entSize;
        put(e, name, 4);
        put(e + 4, type, 4);
        put(e + (Wide ? 24 : 16), at, Wide ? 8 : 4);
        put(e + (Wide ? 32 : 20), size, Wide ? 8 : 4);
    };
    for (int i = 0; i < Sections.size(); ++i)
        section(i + 1, nameAt[i], Sections[i].Type, dataAt[i], uint64_t(Sections[i].Data.size()));
    section(count - 1, namesName, 3, namesAt, uint64_t(names.size()));
    put(Wide ? 0x28 : 0x20, shoff, Wide ? 8 : 4);
    put(Wide ? 0x3A : 0x2E, uint64_t(entSize), 2);
    put(Wide ? 0x3C : 0x30, uint64_t(count), 2);
    put(Wide ? 0x3E : 0x32, uint64_t(count - 1), 2);
    return f;
}

QByteArray Block(std::u16string_view Table, uint16_t Language, uint16_t CodePage,
                 std::span<const TVersionString> Strings) {
    const TVersionInfo info{{1, 2, 3, 4}, {1, 2, 0, 0}, Language, CodePage, Table, Strings};
    const TVersionBlockBuffer b = BuildVersionBlock(info);
    return QByteArray(reinterpret_cast<const char*>(b.Data.data()), qsizetype(b.Size));
}

const TVersionString kStrings[] = {
    {u"ProductVersion", u"9.1"},
    {u"FileDescription", u"Test file"},
    {u"Empty", u""},
};

QByteArray UsBlock() {
    return Block(u"040904E4", 0x0409, 0x04E4, kStrings);
}

// A node spelled out field by field, for blocks that the builder would never
// make. Length -1 stores the node's true length.
struct TRawNode {
    TRawNode(std::u16string_view Key, uint16_t Type = 1, int ValueLength = 0, QByteArray Value = {},
             QList<TRawNode> Children = {}, int Length = -1)
        : Key(Key), Type(Type), ValueLength(ValueLength), Value(std::move(Value)),
          Children(std::move(Children)), Length(Length) {}
    std::u16string_view Key;
    uint16_t Type;
    int ValueLength;
    QByteArray Value;
    QList<TRawNode> Children;
    int Length;
    bool KeyEnds = true; // the key's NUL is there
};

void PadTo4(QByteArray& B) {
    while (B.size() % 4)
        B += '\0';
}

void PutWord(QByteArray& B, qsizetype At, int Value) {
    B[At] = char(Value & 0xFF);
    B[At + 1] = char((Value >> 8) & 0xFF);
}

QByteArray Utf16(std::u16string_view Text) {
    QByteArray b;
    for (char16_t c : Text) {
        b += char(c & 0xFF);
        b += char(c >> 8);
    }
    return b;
}

// Nodes start on 4-byte boundaries, so padding within a node pads the block.
QByteArray Raw(const TRawNode& N) {
    QByteArray b(6, '\0');
    b += Utf16(N.Key);
    if (N.KeyEnds)
        b += QByteArray(2, '\0');
    PadTo4(b);
    b += N.Value;
    for (const TRawNode& child : N.Children) {
        PadTo4(b);
        b += Raw(child);
    }
    PutWord(b, 0, N.Length < 0 ? int(b.size()) : N.Length);
    PutWord(b, 2, N.ValueLength);
    PutWord(b, 4, N.Type);
    return b;
}

TRawNode TextNode(std::u16string_view Key, std::u16string_view Value) {
    return {Key, 1, int(Value.size()) + 1, Utf16(Value) + QByteArray(2, '\0')};
}

// A block whose "040904E4" table holds Table's nodes; the table is Table's
// Length long when that is set.
QByteArray RawBlock(const QList<TRawNode>& Entries, int TableLength = -1) {
    TRawNode table{u"040904E4", 1, 0, {}, Entries, TableLength};
    TRawNode strings{u"StringFileInfo", 1, 0, {}, {table}};
    TRawNode root{u"VS_VERSION_INFO", 0, 52, QByteArray(52, '\0'), {strings}};
    return Raw(root);
}

} // namespace

class tst_OsUtils : public QObject {
    Q_OBJECT

private slots:
    void ownExecutable_data();
    void ownExecutable();
    void files_data();
    void files();
    void blockIsAsLargeAsTheSection();
    void damagedBlocks_data();
    void damagedBlocks();
    void craftedBlocks_data();
    void craftedBlocks();
    void onlyRegularFiles_data();
    void onlyRegularFiles();
    void fileOverTheSizeBound();

private:
    QTemporaryDir FDir;
};

void tst_OsUtils::ownExecutable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("product version") << "ProductVersion"
                                     << "2.5";
    QTest::newRow("file version") << "FileVersion"
                                  << "2.5.0.0";
    QTest::newRow("product name") << "ProductName"
                                  << "Vellomar";
    QTest::newRow("description") << "FileDescription"
                                 << "Vellomar";
    QTest::newRow("case of the name") << "productversion"
                                      << "2.5";
    QTest::newRow("missing name") << "Comments"
                                  << "";
}

void tst_OsUtils::ownExecutable() {
    QFETCH(QString, name);
    QFETCH(QString, value);
    QCOMPARE(GetVersionInfoValue(QStringLiteral(VMR_EXECUTABLE), name), value);
}

void tst_OsUtils::files_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    const QByteArray us = UsBlock();
    QTest::newRow("block") << MakeElf({{".text", "code"}, {"vmr_version", us}}) << "ProductVersion"
                           << "9.1";
    QTest::newRow("second name") << MakeElf({{"vmr_version", us}}) << "FileDescription"
                                 << "Test file";
    QTest::newRow("empty value") << MakeElf({{"vmr_version", us}}) << "Empty"
                                 << "";
    QTest::newRow("missing name") << MakeElf({{"vmr_version", us}}) << "Nope"
                                  << "";
    QTest::newRow("32-bit") << MakeElf({{"vmr_version", us}}, false) << "ProductVersion"
                            << "9.1";
    QTest::newRow("big-endian") << MakeElf({{"vmr_version", us}}, true, true) << "ProductVersion"
                                << "9.1";
    QTest::newRow("other language only")
        << MakeElf({{"vmr_version", Block(u"040704B0", 0x0407, 0x04B0, kStrings)}})
        << "ProductVersion"
        << "";
    QTest::newRow("other code page only")
        << MakeElf({{"vmr_version", Block(u"040904B0", 0x0409, 0x04B0, kStrings)}})
        << "ProductVersion"
        << "";
    // The block is found by the section table, not by its bytes.
    QTest::newRow("block in another section")
        << MakeElf({{".rodata", us}, {"vmr_version2", us}}) << "ProductVersion"
        << "";
    QTest::newRow("section without data") << MakeElf({{"vmr_version", us, 8}}) << "ProductVersion"
                                          << "";
    QTest::newRow("empty section") << MakeElf({{"vmr_version", {}}}) << "ProductVersion"
                                   << "";
    QTest::newRow("no sections") << MakeElf({}) << "ProductVersion"
                                 << "";
    QTest::newRow("truncated file") << MakeElf({{"vmr_version", us}}).left(100) << "ProductVersion"
                                    << "";
    QTest::newRow("not elf") << QByteArray("MZ just some bytes") << "ProductVersion"
                             << "";
    QTest::newRow("empty file") << QByteArray() << "ProductVersion"
                                << "";
    QByteArray bad = MakeElf({{"vmr_version", us}});
    bad[0x28] = char(0xF0); // section table far beyond the file
    QTest::newRow("section table outside") << bad << "ProductVersion"
                                           << "";
}

void tst_OsUtils::files() {
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QString, value);
    const QString path = FDir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    QCOMPARE(GetVersionInfoValue(path, name), value);
    QCOMPARE(GetVersionInfoValue(path + ".missing", name), QString());
}

void tst_OsUtils::blockIsAsLargeAsTheSection() {
    const QString path = FDir.filePath(QStringLiteral("sized"));
    QByteArray padded = UsBlock() + QByteArray(40, '\0');
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(MakeElf({{"vmr_version", padded}}));
    f.close();
    const auto block = ReadVersionInfoBlock(path);
    QVERIFY(block.has_value());
    QCOMPARE(block->size(), padded.size());
    QCOMPARE(*block, padded);
    QCOMPARE(QueryVersionString(*block, QStringLiteral("ProductVersion")), QStringLiteral("9.1"));
    QVERIFY(!ReadVersionInfoBlock(path + ".missing").has_value());
}

void tst_OsUtils::damagedBlocks_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("value");

    const QByteArray good = UsBlock();
    QTest::newRow("intact") << good << "9.1";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("shorter than a node") << good.left(4) << "";
    QTest::newRow("cut inside the value")
        << good.left(good.indexOf(QByteArray("9\0.\0", 4)) + 2) << "9";
    QByteArray longRoot = good;
    longRoot[0] = char(0xFF);
    longRoot[1] = char(0xFF);
    QTest::newRow("root longer than block") << longRoot << "9.1";
    QByteArray zeroChild = good;
    const qsizetype sfi = good.indexOf(QByteArray("S\0t\0r\0i\0n\0g\0F", 13)) - 6;
    zeroChild[sfi] = 0;
    zeroChild[sfi + 1] = 0;
    QTest::newRow("child of length zero") << zeroChild << "";
    QByteArray noNul = good;
    const qsizetype value = good.indexOf(QByteArray("9\0.\0"
                                                    "1\0\0\0",
                                                    8));
    noNul[value + 6] = 'x';
    QTest::newRow("value without its nul") << noNul << "9.1x";
    QTest::newRow("garbage") << QByteArray(300, char(0x41)) << "";
}

void tst_OsUtils::damagedBlocks() {
    QFETCH(QByteArray, block);
    QFETCH(QString, value);
    QCOMPARE(QueryVersionString(block, QStringLiteral("ProductVersion")), value);
}

// Blocks whose lengths disagree with one another or with the block. Each
// case would make a reader that trusts a length read outside the block (which
// the sanitizer build reports) or walk without end.
void tst_OsUtils::craftedBlocks_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("value");

    const TRawNode version = TextNode(u"ProductVersion", u"9.1");
    const TRawNode other = TextNode(u"Other", u"x");
    QTest::newRow("as built") << RawBlock({other, version}) << "9.1";

    // Binary data is no text, however it looks; the block ends right after.
    QTest::newRow("binary value at the end of the block")
        << RawBlock({other, {u"ProductVersion", 0, 8, QByteArray("AAAAAAAA")}}) << "";
    QTest::newRow("binary value shaped like text")
        << RawBlock({{u"ProductVersion", 0, 8, Utf16(u"9.1") + QByteArray(2, '\0')}, other}) << "";
    QTest::newRow("binary value with a huge length")
        << RawBlock({{u"ProductVersion", 0, 0xFFFF, QByteArray("AAAA")}}) << "";
    QTest::newRow("type that is neither text nor binary")
        << RawBlock({{u"ProductVersion", 2, 4, Utf16(u"9.1") + QByteArray(2, '\0')}}) << "";

    // Text without its NUL ends with its node, not in the next one.
    QTest::newRow("value longer than its node")
        << RawBlock({{u"ProductVersion", 1, 200, Utf16(u"9.1")}, other}) << "9.1";
    QTest::newRow("value longer than the block")
        << RawBlock({{u"ProductVersion", 1, 0xFFFF, Utf16(u"9.1")}}) << "9.1";
    QTest::newRow("value of an odd number of bytes")
        << RawBlock({{u"ProductVersion", 1, 3, Utf16(u"9.1").left(5)}, other}) << "9.";
    QTest::newRow("value length zero")
        << RawBlock({{u"ProductVersion", 1, 0, Utf16(u"9.1")}}) << "";

    // Nodes that claim more room than they have.
    TRawNode longChild = version;
    longChild.Length = 0xFFFF;
    QTest::newRow("node longer than the block") << RawBlock({longChild}) << "9.1";
    // The table ends two bytes into the value: header and key 24 bytes, the
    // child's header and key 36.
    QTest::newRow("node running past its parent") << RawBlock({version}, 24 + 36 + 2) << "9";
    QTest::newRow("parent ending inside the child's key") << RawBlock({version}, 24 + 12) << "";
    TRawNode oddSibling = other;
    oddSibling.Length = int(Raw(other).size()) - 1;
    QTest::newRow("sibling of odd length") << RawBlock({oddSibling, version}) << "9.1";

    // Lengths that would stop the walk from moving on.
    TRawNode zero = other;
    zero.Length = 0;
    QTest::newRow("length zero before the value") << RawBlock({zero, version}) << "";
    TRawNode tiny = other;
    tiny.Length = 4;
    QTest::newRow("length below the header") << RawBlock({tiny, version}) << "";
    TRawNode headerOnly = other;
    headerOnly.Length = 6;
    QTest::newRow("node of its header only") << RawBlock({headerOnly, version}) << "";
    QList<TRawNode> many(7000, TRawNode(u""));
    many.append(version);
    QTest::newRow("thousands of empty siblings") << RawBlock(many) << "9.1";

    // Keys that do not end.
    TRawNode openKey = version;
    openKey.KeyEnds = false;
    openKey.Value.clear();
    QTest::newRow("key without its NUL") << RawBlock({openKey}) << "";
    QByteArray cutInKey = RawBlock({version});
    cutInKey.truncate(cutInKey.indexOf(Utf16(u"Version")));
    QTest::newRow("block ending inside a key") << cutInKey << "";

    QTest::newRow("block beyond the largest size")
        << RawBlock({version}) + QByteArray(int(kMaxVersionBlock), '\0') << "";
}

// The block sits in a buffer of exactly its size, so that the sanitizer build
// reports any byte read beyond it.
void tst_OsUtils::craftedBlocks() {
    QFETCH(QByteArray, block);
    QFETCH(QString, value);
    const auto exact = std::make_unique<char[]>(size_t(block.size()));
    std::memcpy(exact.get(), block.constData(), size_t(block.size()));
    const QByteArray view = QByteArray::fromRawData(exact.get(), block.size());
    QCOMPARE(QueryVersionString(view, QStringLiteral("ProductVersion")), value);
}

// Anything but a regular file gives "" at once: opening a FIFO plainly would
// wait for a writer, and a device could be read without end.
void tst_OsUtils::onlyRegularFiles_data() {
    QTest::addColumn<QString>("path");
    const QString fifo = FDir.filePath(QStringLiteral("fifo"));
    QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("fifo") << fifo;
    QTest::newRow("zero device") << "/dev/zero";
    QTest::newRow("random device") << "/dev/urandom";
    QTest::newRow("folder") << FDir.path();
    const QString link = FDir.filePath(QStringLiteral("fifo-link"));
    QVERIFY(QFile::link(fifo, link));
    QTest::newRow("link to a fifo") << link;
}

void tst_OsUtils::onlyRegularFiles() {
    QFETCH(QString, path);
    QCOMPARE(GetVersionInfoValue(path, QStringLiteral("ProductVersion")), QString());
    QVERIFY(!ReadVersionInfoBlock(path).has_value());
}

// Up to the bound a file is read; one byte more and it is not. The files are
// sparse: only their first bytes are written.
void tst_OsUtils::fileOverTheSizeBound() {
    const QString path = FDir.filePath(QStringLiteral("large"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(MakeElf({{"vmr_version", UsBlock()}}));
    QVERIFY(f.resize(kMaxVersionFileSize));
    f.close();
    QCOMPARE(GetVersionInfoValue(path, QStringLiteral("ProductVersion")), QStringLiteral("9.1"));
    QVERIFY(f.resize(kMaxVersionFileSize + 1));
    QCOMPARE(GetVersionInfoValue(path, QStringLiteral("ProductVersion")), QString());
    QVERIFY(f.remove());
}

QTEST_MAIN(tst_OsUtils)
#include "tst_OsUtils.moc"
