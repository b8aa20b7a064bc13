#include "AnsiCodePage.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QString kKey = QStringLiteral("Software/Ostrand/VMR/Settings");
const QByteArray kSection = "[Software/Ostrand/VMR/Settings]\n";
const QByteArray kNewFileHeader = "Windows Registry Editor Version 5.00\n\n";

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// The message of the ESettingsStore that Action raises, or a null string.
template <typename F> QString ErrorOf(F&& Action) {
    try {
        Action();
    } catch (const ESettingsStore& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}

QString ReadData(const QString& path, const QString& key = kKey,
                 const QString& name = QStringLiteral("Data")) {
    auto store = CreateFileSettingsStore(path);
    if (!store->OpenKey(key, false))
        return QStringLiteral("<key missing>");
    const QString text = store->ReadString(name);
    store->CloseKey();
    return text;
}

int Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

QString S(std::u16string_view v) {
    return QStringView(v).toString();
}

// Restores an environment variable, set or unset, when it goes out of scope.
class TEnvGuard {
public:
    explicit TEnvGuard(const char* name)
        : FName(name), FSet(qEnvironmentVariableIsSet(name)), FValue(qgetenv(name)) {}
    ~TEnvGuard() {
        if (FSet)
            qputenv(FName, FValue);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FSet;
    QByteArray FValue;
};

class TFakeStore final : public TSettingsStore {
public:
    bool OpenKey(const QString&, bool) override { return true; }
    QString ReadString(const QString&) override { return QStringLiteral("fake"); }
    void WriteString(const QString&, const QString&) override {}
    void CloseKey() override {}
};

} // namespace

class tst_SettingsStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void openKey_data();
    void openKey();
    void unreadableFileOpensNoKey();
    void readString_data();
    void readString();
    void readNonString_data();
    void readNonString();
    void readWithoutKeyIsEmpty();
    void malformedLines_data();
    void malformedLines();
    void largeAndOddInput();

    void writeRoundTrip_data();
    void writeRoundTrip();
    void writeKeepsOtherContent_data();
    void writeKeepsOtherContent();
    void writeMergesChangesMadeSinceOpen();
    void createdKeyIsWrittenOnClose();
    void fileAndFolderArePrivate();
    void writeFailure_data();
    void writeFailure();
    void writeFailureKeepsOldFile();

    void defaultSettingsPath_data();
    void defaultSettingsPath();
    void currentUserStoreFactory();

private:
    QString Path() const { return FDir->filePath(QStringLiteral("user.reg")); }

    // Guards so that nothing here reaches the real user's configuration,
    // even when the test runs outside ctest.
    std::optional<TEnvGuard> FXdgGuard, FHomeGuard;
    std::optional<QTemporaryDir> FHome;
    std::optional<QTemporaryDir> FDir;
};

void tst_SettingsStore::initTestCase() {
    FXdgGuard.emplace("XDG_CONFIG_HOME");
    FHomeGuard.emplace("HOME");
    FHome.emplace();
    QVERIFY(FHome->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FHome->filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(FHome->path()));
}

void tst_SettingsStore::init() {
    FDir.emplace();
    QVERIFY(FDir->isValid());
}

void tst_SettingsStore::openKey_data() {
    QTest::addColumn<std::optional<QByteArray>>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("opens");

    const QByteArray full = kSection + "\"Data\"=\"x\"\n";
    QTest::newRow("missing file") << std::optional<QByteArray>() << kKey << false;
    QTest::newRow("empty file") << std::optional(QByteArray()) << kKey << false;
    QTest::newRow("header only") << std::optional(kNewFileHeader) << kKey << false;
    QTest::newRow("present") << std::optional(full) << kKey << true;
    QTest::newRow("present without values") << std::optional(kSection) << kKey << true;
    QTest::newRow("name case differs")
        << std::optional(QByteArray("[SOFTWARE/ostrand/vmr/settings]\n")) << kKey << true;
    QTest::newRow("slashes do not nest: parent")
        << std::optional(full) << QStringLiteral("Software") << false;
    QTest::newRow("slashes do not nest: child of another key")
        << std::optional(QByteArray("[Software]\n[Ostrand/VMR/Settings]\n")) << kKey << false;
    QTest::newRow("backslashes are other characters")
        << std::optional(QByteArray("[Software\\Ostrand\\VMR\\Settings]\n")) << kKey << false;
    QTest::newRow("values without a section")
        << std::optional(QByteArray("\"Data\"=\"x\"\n")) << kKey << false;
    QTest::newRow("surrounded by other keys")
        << std::optional("[A]\n\"v\"=\"1\"\n\n" + full + "\n[B]\n") << kKey << true;
    QTest::newRow("indented header") << std::optional(QByteArray("  ") + kSection) << kKey << true;
    QTest::newRow("empty key name") << std::optional(QByteArray("[]\n")) << QString() << false;
}

void tst_SettingsStore::openKey() {
    QFETCH(std::optional<QByteArray>, content);
    QFETCH(QString, key);
    QFETCH(bool, opens);

    if (content)
        WriteFile(Path(), *content);
    const QDateTime before = QFileInfo(Path()).lastModified();

    auto store = CreateFileSettingsStore(Path());
    QCOMPARE(store->OpenKey(key, false), opens);
    if (opens)
        store->ReadString(QStringLiteral("Data"));
    store->CloseKey();
    store.reset();

    // Opening and reading leave the file as it was, or absent.
    QCOMPARE(QFileInfo::exists(Path()), content.has_value());
    if (content) {
        QCOMPARE(ReadFile(Path()), *content);
        QCOMPARE(QFileInfo(Path()).lastModified(), before);
    }
}

void tst_SettingsStore::unreadableFileOpensNoKey() {
    // A folder in the file's place, and a file far too big to be settings.
    const QString folder = FDir->filePath(QStringLiteral("folder.reg"));
    QVERIFY(QDir().mkpath(folder));
    const QString huge = FDir->filePath(QStringLiteral("huge.reg"));
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(kSection) == kSection.size());
        QVERIFY(f.resize(qint64(64) * 1024 * 1024)); // sparse
    }
    for (const QString& path : {folder, huge}) {
        for (const bool create : {false, true}) {
            auto store = CreateFileSettingsStore(path);
            QVERIFY2(!store->OpenKey(kKey, create), qPrintable(path));
            store->CloseKey();
        }
    }
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QFileInfo(huge).size(), qint64(64) * 1024 * 1024);
}

void tst_SettingsStore::readString_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    const QByteArray h = kSection;
    QTest::newRow("plain") << h + "\"Data\"=\"abc\"\n" << S(u"abc");
    QTest::newRow("empty") << h + "\"Data\"=\"\"\n" << QString();
    QTest::newRow("missing value") << h + "\"Other\"=\"x\"\n" << QString();
    QTest::newRow("escaped quote and backslash") << h + R"("Data"="a\"b\\c\\")" + "\n"
                                                 << S(uR"(a"b\c\)");
    QTest::newRow("lone backslash stands for itself") << h + R"("Data"="C:\dir")" + "\n"
                                                      << S(uR"(C:\dir)");
    QTest::newRow("quoted value name is another name")
        << h + R"("\"Data\""="no")" + "\n" + R"("Data\\"="no")" + "\n"
        << QString();
    QTest::newRow("value name case differs") << h + "\"DATA\"=\"upper\"\n" << S(u"upper");
    QTest::newRow("utf-8 text") << h + "\"Data\"=\"h\xC3\xA9llo \xE2\x82\xAC \xC2\x81\"\n"
                                << S(u"héllo € \u0081");
    QTest::newRow("spaces around equals") << h + "\"Data\" = \"x\"  \n" << S(u"x");
    QTest::newRow("crlf file") << QByteArray(
                                      "[Software/Ostrand/VMR/Settings]\r\n\"Data\"=\"x\"\r\n")
                               << S(u"x");
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + h + "\"Data\"=\"x\"\n" << S(u"x");
    QTest::newRow("version 5 header") << kNewFileHeader + h + "\"Data\"=\"x\"\n" << S(u"x");
    QTest::newRow("regedit4 header") << "REGEDIT4\n\n" + h + "\"Data\"=\"x\"\n" << S(u"x");
    QTest::newRow("comments and blank lines")
        << "; top\n\n" + h + "; about\n\n  ; indented\n\"Data\"=\"x\"\n"
        << S(u"x");
    QTest::newRow("no newline at end") << h + "\"Data\"=\"x\"" << S(u"x");
    QTest::newRow("value before any section ignored") << "\"Data\"=\"orphan\"\n" + h << QString();
    QTest::newRow("value of another key ignored")
        << h + "[Software/Ostrand/VMR]\n\"Data\"=\"wrong\"\n"
        << QString();
    QTest::newRow("default value is not Data") << h + "@=\"default\"\n" << QString();
    QTest::newRow("later definition wins") << h + "\"Data\"=\"one\"\n\"data\"=\"two\"\n"
                                           << S(u"two");
    QTest::newRow("key split over two sections")
        << h + "\"Data\"=\"one\"\n[Other]\n" + h + "\"B\"=\"2\"\n"
        << S(u"one");

    QTest::newRow("hex(1)") << h + "\"Data\"=hex(1):41,00,42,00,00,00\n" << S(u"AB");
    QTest::newRow("hex(1) upper-case digits") << h + "\"Data\"=HEX(1):AC,20,00,00\n" << S(u"€");
    QTest::newRow("hex(1) embedded zeros and C1")
        << h + "\"Data\"=hex(1):81,00,00,00,41,00,00,00,00,00\n"
        << QString(QChar(0x81)) + QChar(0) + QChar(u'A') + QChar(0);
    QTest::newRow("hex(1) without terminator") << h + "\"Data\"=hex(1):41,00,42,00\n" << S(u"AB");
    QTest::newRow("hex(1) odd length") << h + "\"Data\"=hex(1):41,00,42\n" << S(u"A");
    QTest::newRow("hex(1) empty") << h + "\"Data\"=hex(1):\n" << QString();
    QTest::newRow("hex(1) terminator only") << h + "\"Data\"=hex(1):00,00\n" << QString();
    QTest::newRow("hex(1) single-digit bytes") << h + "\"Data\"=hex(1):9,0,0,0\n" << S(u"\t");
    QTest::newRow("hex(1) continued")
        << h + "\"Data\"=hex(1):41,00,\\\n  42,00,\\\r\n  43,00,00,00\n\"B\"=\"2\"\n"
        << S(u"ABC");
    QTest::newRow("hex(1) continuation cut by a section")
        << h + "\"Data\"=hex(1):41,00,\\\n[Other]\n\"Data\"=\"o\"\n"
        << S(u"A");
    QTest::newRow("hex(1) continuation cut by end of file")
        << h + "\"Data\"=hex(1):41,00,\\" << S(u"A");
    QTest::newRow("hex(2)") << h + "\"Data\"=hex(2):25,00,41,00,25,00,00,00\n" << S(u"%A%");
}

void tst_SettingsStore::readString() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    WriteFile(Path(), content);
    QCOMPARE(ReadData(Path()), expected);
    QCOMPARE(ReadFile(Path()), content);
}

void tst_SettingsStore::readNonString_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("name");

    QTest::newRow("dword") << QByteArray("\"Data\"=dword:0000002a") << S(u"Data");
    QTest::newRow("binary") << QByteArray("\"Data\"=hex:41,00,00,00") << S(u"Data");
    QTest::newRow("empty binary") << QByteArray("\"Data\"=hex:") << S(u"Data");
    QTest::newRow("none") << QByteArray("\"Data\"=hex(0):41,00") << S(u"Data");
    QTest::newRow("multi-string") << QByteArray("\"Data\"=hex(7):41,00,00,00,00,00") << S(u"Data");
    QTest::newRow("qword") << QByteArray("\"Data\"=hex(b):01,00,00,00,00,00,00,00") << S(u"Data");
    QTest::newRow("name case kept from caller") << QByteArray("\"Data\"=dword:1") << S(u"dATA");
    QTest::newRow("other name") << QByteArray("\"Größe\"=dword:1") << S(u"Größe");
    QTest::newRow("overrides an earlier string")
        << QByteArray("\"Data\"=\"x\"\n\"Data\"=dword:1") << S(u"Data");
}

void tst_SettingsStore::readNonString() {
    QFETCH(QByteArray, line);
    QFETCH(QString, name);
    WriteFile(Path(), kSection + line + "\n");
    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(kKey, false));
    QCOMPARE(ErrorOf([&] { store->ReadString(name); }),
             QStringLiteral("Invalid data type for '%1'").arg(name));
}

void tst_SettingsStore::readWithoutKeyIsEmpty() {
    WriteFile(Path(), kSection + "\"Data\"=\"x\"\n");
    auto store = CreateFileSettingsStore(Path());
    QCOMPARE(store->ReadString(QStringLiteral("Data")), QString());
    QVERIFY(store->OpenKey(kKey, false));
    store->CloseKey();
    QCOMPARE(store->ReadString(QStringLiteral("Data")), QString());
}

void tst_SettingsStore::malformedLines_data() {
    QTest::addColumn<QByteArray>("bad");

    QTest::newRow("free text") << QByteArray("this is not a value");
    QTest::newRow("unterminated name") << QByteArray("\"Data");
    QTest::newRow("no equals") << QByteArray("\"Data\" \"x\"");
    QTest::newRow("nothing after equals") << QByteArray("\"Data\"=");
    QTest::newRow("unterminated string") << QByteArray("\"Data\"=\"bad");
    QTest::newRow("text after string") << QByteArray("\"Data\"=\"bad\" trailing");
    QTest::newRow("bad hex digit") << QByteArray("\"Data\"=hex(1):zz,00");
    QTest::newRow("three-digit byte") << QByteArray("\"Data\"=hex(1):123,00");
    QTest::newRow("empty byte") << QByteArray("\"Data\"=hex(1):41,,00");
    QTest::newRow("comma only") << QByteArray("\"Data\"=hex(1):,");
    QTest::newRow("bad type number") << QByteArray("\"Data\"=hex(zz):41,00");
    QTest::newRow("type number too long") << QByteArray("\"Data\"=hex(123456789):41,00");
    QTest::newRow("unclosed type") << QByteArray("\"Data\"=hex(1:41,00");
    QTest::newRow("dword too long") << QByteArray("\"Data\"=dword:123456789");
    QTest::newRow("dword empty") << QByteArray("\"Data\"=dword:");
    QTest::newRow("dword not hex") << QByteArray("\"Data\"=dword:xyz");
    QTest::newRow("deletion mark") << QByteArray("\"Data\"=-");
    QTest::newRow("unknown form") << QByteArray("\"Data\"=str(2):\"bad\"");
    QTest::newRow("unclosed section") << QByteArray("[Software/Other");
    QTest::newRow("nameless equals") << QByteArray("=\"bad\"");
    QTest::newRow("lone at sign") << QByteArray("@");
    QTest::newRow("NUL bytes") << QByteArray("\0\0\"Data\"=\"bad\"\0", 15);
    QTest::newRow("NUL inside name") << QByteArray("\"Da\0ta\"=\"other\"", 15);
    QTest::newRow("invalid utf-8") << QByteArray("\xFF\xFE\x80\xC3(");
    QTest::newRow("invalid utf-8 in name") << QByteArray("\"Dat\xFF\"=\"other\"");
    QTest::newRow("utf-16 text") << QByteArray("\"\0D\0a\0t\0a\0\"\0=\0\"\0b\0\"\0", 20);
}

// A malformed line after the value neither hides nor replaces it, and a
// rewrite keeps it byte for byte.
void tst_SettingsStore::malformedLines() {
    QFETCH(QByteArray, bad);
    const QByteArray before = kSection + "\"Data\"=\"ok\"\n" + bad + "\n[Software/Next]\n";
    WriteFile(Path(), before);
    QCOMPARE(ReadData(Path()), S(u"ok"));

    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(kKey, false));
    store->WriteString(QStringLiteral("Data"), QStringLiteral("new"));
    store->CloseKey();
    QByteArray expected = before;
    expected.replace("\"Data\"=\"ok\"", "\"Data\"=\"new\"");
    QCOMPARE(ReadFile(Path()), expected);
    QCOMPARE(ReadData(Path()), S(u"new"));
}

void tst_SettingsStore::largeAndOddInput() {
    // Megabytes of noise inside the key: no crash, whatever it yields.
    {
        QRandomGenerator random(20240611);
        QByteArray noise(4 * 1024 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        WriteFile(Path(), kSection + noise);
        auto store = CreateFileSettingsStore(Path());
        QVERIFY(store->OpenKey(kKey, false));
        ErrorOf([&] { store->ReadString(QStringLiteral("Data")); });
    }
    // A long hex(1) value over many continuation lines.
    {
        QString text;
        QByteArray data = kSection + "\"Data\"=hex(1):";
        for (int i = 0; i < 600000; ++i) {
            const char16_t c = char16_t(1 + i % 0x7FFF);
            text.append(QChar(c));
            data += QByteArray::number(c & 0xFF, 16) + ',' + QByteArray::number(c >> 8, 16) + ',';
            if (i % 12 == 11)
                data += "\\\n  ";
        }
        data += "00,00\n";
        WriteFile(Path(), data);
        QCOMPARE(ReadData(Path()), text);
    }
    // One plain string line of four megabytes.
    {
        const QByteArray big(4 * 1024 * 1024, 'a');
        WriteFile(Path(), kSection + "\"Data\"=\"" + big + "\"\n");
        QCOMPARE(ReadData(Path()), QString::fromLatin1(big));
    }
}

void tst_SettingsStore::writeRoundTrip_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("asHex");

    // A crypt string as it reaches the store: 16 bytes, one of them 0x00 and
    // some from the code page's undefined range.
    const std::string crypt("\x81\x00\x9D\xFF\x80\x8D\x20\x22\x5C\x0A\x8F\x90\x41\x00\xE9\x7F", 16);
    const QString cryptText = UnicodeFromAnsi(crypt);
    QCOMPARE(cryptText.size(), 16);

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("plain") << S(u"plain text") << false;
    QTest::newRow("quotes and backslashes") << S(uR"(a"b\c\\d")") << false;
    QTest::newRow("trailing backslash") << S(uR"(C:\)") << false;
    QTest::newRow("unicode") << S(u"Größe € 😀 \u0081\u009D\u007F") << false;
    QTest::newRow("crypt string with zero byte") << cryptText << true;
    QTest::newRow("ends with zero") << S(u"abc") + QChar(0) << true;
    QTest::newRow("only zeros") << QString(3, QChar(0)) << true;
    QTest::newRow("line break") << S(u"one\ntwo\r\n") << true;
    QTest::newRow("tab") << S(u"a\tb") << true;
    QTest::newRow("lone surrogate") << S(u"a") + QChar(0xD800) << true;
    QTest::newRow("long with control") << QString(300, QChar(u'x')) + QChar(1) << true;
}

void tst_SettingsStore::writeRoundTrip() {
    QFETCH(QString, value);
    QFETCH(bool, asHex);

    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(kKey, true));
    store->WriteString(QStringLiteral("Data"), value);
    QCOMPARE(store->ReadString(QStringLiteral("Data")), value);
    store->CloseKey();

    QCOMPARE(ReadData(Path()), value);
    const QByteArray file = ReadFile(Path());
    QVERIFY(file.startsWith(kNewFileHeader + kSection));
    QCOMPARE(file.contains("\"Data\"=hex(1):"), asHex);
    for (const QByteArray& line : file.split('\n'))
        QVERIFY2(!asHex || line.size() <= 80, line.constData());
}

void tst_SettingsStore::writeKeepsOtherContent_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QByteArray h = kSection;
    const QByteArray full = "Windows Registry Editor Version 5.00\n"
                            "\n"
                            "; settings of the notebook\n"
                            "\"Orphan\"=\"kept\"\n"
                            "\n"
                            "[Software/Other]\n"
                            "\"Data\"=\"other key\"\n"
                            "\n"
                            "[Software/Ostrand/VMR/Settings]\n"
                            "\"Before\"=dword:00000001\n"
                            "\"Data\"=\"old\"\n"
                            "; note\n"
                            "\"After\"=hex:01,02,\\\n"
                            "  03\n"
                            "\n"
                            "[Zeta]\n"
                            "\"X\"=\"y\"\n";
    QByteArray fullAfter = full;
    fullAfter.replace("\"Data\"=\"old\"", "\"Data\"=\"new\"");
    QTest::newRow("replace among others") << full << fullAfter;
    QTest::newRow("stored spellings kept")
        << QByteArray("[software/ostrand/VMR/settings]\n\"DATA\"=\"old\"\n")
        << QByteArray("[software/ostrand/VMR/settings]\n\"DATA\"=\"new\"\n");
    QTest::newRow("added after the key's last value")
        << h + "\"A\"=\"1\"\n; about A\n\"B\"=\"2\"\n\n; next\n[Z]\n"
        << h + "\"A\"=\"1\"\n; about A\n\"B\"=\"2\"\n\"Data\"=\"new\"\n\n; next\n[Z]\n";
    QTest::newRow("added to an empty key") << h + "\n[Z]\n" << h + "\"Data\"=\"new\"\n\n[Z]\n";
    QTest::newRow("key appended") << QByteArray("[Z]\n\"A\"=\"1\"\n")
                                  << "[Z]\n\"A\"=\"1\"\n\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("key appended after blank line")
        << QByteArray("[Z]\n\n") << "[Z]\n\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("empty file") << QByteArray() << kNewFileHeader + h + "\"Data\"=\"new\"\n";
    QTest::newRow("no newline at end")
        << h + "\"A\"=\"1\"" << h + "\"A\"=\"1\"\n\"Data\"=\"new\"\n";
    QTest::newRow("no newline at end, key appended")
        << QByteArray("[Z]") << "[Z]\n\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("crlf kept")
        << QByteArray("[Software/Ostrand/VMR/Settings]\r\n\"A\"=\"1\"\r\n")
        << QByteArray("[Software/Ostrand/VMR/Settings]\r\n\"A\"=\"1\"\r\n\"Data\"=\"new\"\r\n");
    QTest::newRow("continued hex value replaced")
        << h + "\"Data\"=hex(1):41,00,\\\n  42,00,00,00\n\"B\"=\"2\"\n"
        << h + "\"Data\"=\"new\"\n\"B\"=\"2\"\n";
    QTest::newRow("non-string value replaced") << h + "\"Data\"=dword:00000001\n"
                                               << h + "\"Data\"=\"new\"\n";
    QTest::newRow("last definition replaced")
        << h + "\"Data\"=\"one\"\n[Z]\n" + h + "\"Data\"=\"two\"\n"
        << h + "\"Data\"=\"one\"\n[Z]\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("definition in first of two sections")
        << h + "\"Data\"=\"one\"\n" + h + "\"B\"=\"2\"\n"
        << h + "\"Data\"=\"new\"\n" + h + "\"B\"=\"2\"\n";
    QTest::newRow("regedit4 header kept") << "REGEDIT4\n\n" + h + "\"Data\"=\"old\"\n"
                                          << "REGEDIT4\n\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("orphan value untouched") << QByteArray("\"Data\"=\"orphan\"\n")
                                            << "\"Data\"=\"orphan\"\n\n" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("byte order mark kept") << "\xEF\xBB\xBF" + h + "\"Data\"=\"old\"\n"
                                          << "\xEF\xBB\xBF" + h + "\"Data\"=\"new\"\n";
    QTest::newRow("invalid utf-8 elsewhere kept")
        << "[Z]\n\"A\"=\"\xFF\xFE\"\n" + h + "\"Data\"=\"old\"\n"
        << "[Z]\n\"A\"=\"\xFF\xFE\"\n" + h + "\"Data\"=\"new\"\n";
}

void tst_SettingsStore::writeKeepsOtherContent() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    WriteFile(Path(), before);

    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(kKey, true));
    store->WriteString(QStringLiteral("Data"), QStringLiteral("new"));
    store->CloseKey();
    QCOMPARE(ReadFile(Path()), after);
    QCOMPARE(ReadData(Path()), S(u"new"));
}

void tst_SettingsStore::writeMergesChangesMadeSinceOpen() {
    WriteFile(Path(), kSection + "\"Data\"=\"old\"\n");
    auto first = CreateFileSettingsStore(Path());
    QVERIFY(first->OpenKey(kKey, false));

    auto second = CreateFileSettingsStore(Path());
    QVERIFY(second->OpenKey(QStringLiteral("Other"), true));
    second->WriteString(QStringLiteral("V"), QStringLiteral("2"));
    second->CloseKey();

    first->WriteString(QStringLiteral("Data"), QStringLiteral("new"));
    first->CloseKey();
    QCOMPARE(ReadFile(Path()), kSection + "\"Data\"=\"new\"\n\n[Other]\n\"V\"=\"2\"\n");
}

void tst_SettingsStore::createdKeyIsWrittenOnClose() {
    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(QStringLiteral("New/Key"), true));
    QCOMPARE(store->ReadString(QStringLiteral("Data")), QString());
    QVERIFY(!QFileInfo::exists(Path()));
    store->CloseKey();
    const QByteArray written = kNewFileHeader + "[New/Key]\n";
    QCOMPARE(ReadFile(Path()), written);

    // Opening an existing key with Create writes nothing.
    const QDateTime stamp = QFileInfo(Path()).lastModified();
    QVERIFY(store->OpenKey(QStringLiteral("new/key"), true));
    store->CloseKey();
    QCOMPARE(ReadFile(Path()), written);
    QCOMPARE(QFileInfo(Path()).lastModified(), stamp);

    // Nor does opening another key without it.
    QVERIFY(!store->OpenKey(kKey, false));
    store->CloseKey();
    QCOMPARE(ReadFile(Path()), written);
}

void tst_SettingsStore::fileAndFolderArePrivate() {
    const mode_t oldMask = ::umask(0);
    const auto restore = qScopeGuard([oldMask] { ::umask(oldMask); });

    const QString outer = FDir->filePath(QStringLiteral("a"));
    const QString inner = outer + QStringLiteral("/vellomar");
    const QString path = inner + QStringLiteral("/user.reg");
    auto store = CreateFileSettingsStore(path);
    QVERIFY(store->OpenKey(kKey, true));
    store->WriteString(QStringLiteral("Data"), QStringLiteral("x"));
    QCOMPARE(Mode(path), 0600);
    QCOMPARE(Mode(inner), 0700);
    QCOMPARE(Mode(outer), 0700);

    // An existing file open to everyone is narrowed.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    store->WriteString(QStringLiteral("Data"), QStringLiteral("y"));
    store->CloseKey();
    QCOMPARE(Mode(path), 0600);
    QCOMPARE(ReadData(path), S(u"y"));
}

void tst_SettingsStore::writeFailure_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("blockFolder");

    QTest::newRow("folder path is a file") << S(u"Data") << true << true;
    QTest::newRow("other name in message") << S(u"Größe") << true << true;
    QTest::newRow("key not open") << S(u"Data") << false << false;
    QTest::newRow("name with line break") << S(u"Da\nta") << true << false;
}

void tst_SettingsStore::writeFailure() {
    QFETCH(QString, name);
    QFETCH(bool, open);
    QFETCH(bool, blockFolder);

    // Root ignores permissions, so a regular file stands where the folder
    // should be.
    const QString blocker = FDir->filePath(QStringLiteral("blocker"));
    WriteFile(blocker, "keep");
    const QString path = blockFolder ? blocker + QStringLiteral("/sub/user.reg") : Path();
    const QByteArray before = kSection + "\"Data\"=\"old\"\n";
    if (!blockFolder)
        WriteFile(path, before);

    auto store = CreateFileSettingsStore(path);
    if (open)
        QVERIFY(store->OpenKey(kKey, true));
    QCOMPARE(ErrorOf([&] { store->WriteString(name, S(u"new")); }),
             QStringLiteral("Failed to set data for '%1'").arg(name));
    store->CloseKey();

    QCOMPARE(ReadFile(blocker), QByteArray("keep"));
    if (!blockFolder)
        QCOMPARE(ReadFile(path), before);
}

// A write that fails half-way (here: the file size limit) leaves the old file
// byte-identical and no stray temporary file behind.
void tst_SettingsStore::writeFailureKeepsOldFile() {
    const QByteArray before = kNewFileHeader + kSection + "\"Data\"=\"old\"\n";
    WriteFile(Path(), before);

    rlimit oldLimit{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &oldLimit) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = oldLimit;
    limit.rlim_cur = rlim_t(before.size() + 16);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);

    QString error;
    {
        auto store = CreateFileSettingsStore(Path());
        if (store->OpenKey(kKey, false))
            error = ErrorOf([&] { store->WriteString(S(u"Data"), QString(1000, QChar(u'n'))); });
        store->CloseKey();
    }
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(error, S(u"Failed to set data for 'Data'"));
    QCOMPARE(ReadFile(Path()), before);
    QCOMPARE(QDir(FDir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{S(u"user.reg")});
}

void tst_SettingsStore::defaultSettingsPath_data() {
    QTest::addColumn<std::optional<QByteArray>>("xdg");
    QTest::addColumn<QString>("expected");

    QTest::newRow("set") << std::optional(QByteArray("/srv/conf"))
                         << S(u"/srv/conf/vellomar/user.reg");
    QTest::newRow("empty") << std::optional(QByteArray())
                           << S(u"/home/u/.config/vellomar/user.reg");
    QTest::newRow("unset") << std::optional<QByteArray>()
                           << S(u"/home/u/.config/vellomar/user.reg");
    QTest::newRow("relative is ignored")
        << std::optional(QByteArray("conf")) << S(u"/home/u/.config/vellomar/user.reg");
}

void tst_SettingsStore::defaultSettingsPath() {
    QFETCH(std::optional<QByteArray>, xdg);
    QFETCH(QString, expected);

    TEnvGuard xdgGuard("XDG_CONFIG_HOME");
    TEnvGuard homeGuard("HOME");
    qputenv("HOME", "/home/u");
    if (xdg)
        qputenv("XDG_CONFIG_HOME", *xdg);
    else
        qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(DefaultSettingsPath(), expected);
}

void tst_SettingsStore::currentUserStoreFactory() {
    TEnvGuard xdgGuard("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FDir->path()));
    const auto reset = qScopeGuard([] { SetCurrentUserStoreFactory({}); });

    int made = 0;
    SetCurrentUserStoreFactory([&made] {
        ++made;
        return std::make_unique<TFakeStore>();
    });
    auto fake = OpenCurrentUserStore();
    QCOMPARE(made, 1);
    QCOMPARE(fake->ReadString(S(u"Data")), S(u"fake"));

    SetCurrentUserStoreFactory({});
    auto store = OpenCurrentUserStore();
    QCOMPARE(made, 1);
    QVERIFY(store->OpenKey(kKey, true));
    store->WriteString(S(u"Data"), S(u"real"));
    store->CloseKey();
    QCOMPARE(ReadData(FDir->filePath(S(u"vellomar/user.reg"))), S(u"real"));
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_SettingsStore.moc"
