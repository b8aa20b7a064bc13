#include "AnsiCodePage.h"
#include "SettingsStore.h"
#include "common/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
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

// Text as UTF-16 with its byte order mark.
QByteArray Utf16(const QString& text, bool bigEndian) {
    QByteArray out = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
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
    void unreadableFile_data();
    void unreadableFile();
    void unreadableFileKinds();
    void fileDamagedAfterOpenIsNotWritten();
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

// A file that is there but cannot be read as a whole opens no key, with or
// without Create: it raises why, and it is never written over.
void tst_SettingsStore::unreadableFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");

    const QByteArray h = kSection;
    const QString notText = S(u"it is not UTF-8 or UTF-16 text");
    const QString cutInCharacter = S(u"it ends in the middle of a character");
    const QString cutInLine2 = S(u"it ends in the middle of line 2");
    const QByteArray utf16 =
        Utf16(S(u"[Software/Ostrand/VMR/Settings]\r\n\"Data\"=\"x\"\r\n"), false);

    QTest::newRow("binary junk") << QByteArray("\x7F"
                                               "ELF\x02\x01\x01\0\0\0\0\0\x03\0>\0",
                                               16)
                                 << notText;
    QTest::newRow("NUL byte") << h + QByteArray("\"Data\"=\"x\"\0\n", 12) << notText;
    QTest::newRow("NUL inside name") << h + QByteArray("\"Da\0ta\"=\"other\"\n", 16) << notText;
    QTest::newRow("control character") << h + "\"Data\"=\"a\x01z\"\n" << notText;
    QTest::newRow("invalid utf-8") << h + "\"Data\"=\"\xFF\xFE\"\n" << notText;
    QTest::newRow("invalid utf-8 in another key")
        << "[Z]\n\"A\"=\"\xE9t\xE9\"\n" + h + "\"Data\"=\"old\"\n"
        << notText;
    QTest::newRow("overlong utf-8") << h + "\"Data\"=\"\xC0\xAF\"\n" << notText;
    QTest::newRow("utf-8 surrogate") << h + "\"Data\"=\"\xED\xA0\x80\"\n" << notText;
    QTest::newRow("utf-16 without byte order mark")
        << QByteArray("[\0S\0]\0\n\0\"\0D\0a\0t\0a\0\"\0=\0\"\0b\0\"\0\n\0", 30) << notText;
    QTest::newRow("utf-16 unpaired surrogate")
        << Utf16(S(u"[Software/Ostrand/VMR/Settings]\n\"Data\"=\"") + QChar(0xDC00) + S(u"\"\n"),
                 false)
        << notText;
    QTest::newRow("utf-16 NUL") << Utf16(S(u"[Software/Ostrand/VMR/Settings]\n\"Data\"=\"") +
                                             QChar(0) + S(u"\"\n"),
                                         false)
                                << notText;

    // Cut off: what is left could read as a shorter value, or an empty one.
    QTest::newRow("cut in a utf-8 character") << h + "\"Data\"=\"\xC3" << cutInCharacter;
    QTest::newRow("cut in a utf-16 unit") << utf16.chopped(1) << cutInCharacter;
    QTest::newRow("cut after a high surrogate")
        << Utf16(S(u"[Software/Ostrand/VMR/Settings]\n\"Data\"=\"") + QChar(0xD83D), false)
        << cutInCharacter;
    QTest::newRow("hex continuation cut by the end") << h + "\"Data\"=hex(1):41,00,\\\n"
                                                     << cutInLine2;
    QTest::newRow("hex continuation cut by the end, no line break")
        << h + "\"Data\"=hex(1):41,00,\\" << cutInLine2;
    QTest::newRow("hex continued, then cut by the end")
        << h + "\"Data\"=hex(1):41,00,\\\n  42,00,\\\n  43,00,\\\n"
        << S(u"it ends in the middle of line 4");
    QTest::newRow("hex data cut") << h + "\"Data\"=hex(1):41,00,42" << cutInLine2;
    QTest::newRow("hex data cut after the colon") << h + "\"Data\"=hex(1):" << cutInLine2;
    QTest::newRow("hex data cut in another key")
        << h + "\"Data\"=\"x\"\n[Z]\n\"A\"=hex:01,0" << S(u"it ends in the middle of line 4");
    QTest::newRow("dword cut") << h + "\"Data\"=dword:0000" << cutInLine2;
    QTest::newRow("unclosed quote at the end") << h + "\"Data\"=\"abc" << cutInLine2;
    QTest::newRow("unclosed name at the end") << h + "\"Da" << cutInLine2;
    QTest::newRow("nothing after equals at the end") << h + "\"Data\"=" << cutInLine2;
    QTest::newRow("key name cut at the end")
        << QByteArray("[Software/Ostr") << S(u"it ends in the middle of line 1");

    // The lines after a damaged key name belong to no known key.
    QTest::newRow("damaged key name")
        << QByteArray("[Software/Ostrand/VMR/Settings\n\"Data\"=\"x\"\n")
        << S(u"the key name on line 1 is damaged");
    QTest::newRow("damaged key name after the key") << h + "\"Data\"=\"x\"\n[Other\n\"Data\"=\"\"\n"
                                                    << S(u"the key name on line 3 is damaged");
    QTest::newRow("lone bracket") << h + "[\n" << S(u"the key name on line 2 is damaged");
    QTest::newRow("text after a key name") << h + "[Z] x\n"
                                           << S(u"the key name on line 2 is damaged");
}

void tst_SettingsStore::unreadableFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    WriteFile(Path(), content);
    const QString expected =
        QStringLiteral("The settings file \"%1\" cannot be read: %2.").arg(Path(), reason);
    for (const bool create : {false, true}) {
        auto store = CreateFileSettingsStore(Path());
        bool opened = false;
        QCOMPARE(ErrorOf([&] { opened = store->OpenKey(kKey, create); }), expected);
        QVERIFY(!opened);
        QCOMPARE(store->ReadString(QStringLiteral("Data")), QString());
        QCOMPARE(ErrorOf([&] { store->WriteString(QStringLiteral("Data"), S(u"new")); }),
                 S(u"Failed to set data for 'Data'"));
        store->CloseKey();
    }
    QCOMPARE(ReadFile(Path()), content);
}

// What stands in the file's place, and a file that may not be read.
void tst_SettingsStore::unreadableFileKinds() {
    TUnprivileged unprivileged(FDir->path());
    QVERIFY2(unprivileged.Binds(), "file permissions cannot be made to bind here");
    const QString folder = FDir->filePath(QStringLiteral("folder.reg"));
    QVERIFY(QDir().mkpath(folder));
    const QString pipe = FDir->filePath(QStringLiteral("pipe.reg"));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    const QString huge = FDir->filePath(QStringLiteral("huge.reg"));
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(kSection) == kSection.size());
        QVERIFY(f.resize(qint64(64) * 1024 * 1024)); // sparse
    }
    const QString locked = FDir->filePath(QStringLiteral("locked.reg"));
    const QByteArray lockedContent = kSection + "\"Data\"=\"x\"\n";
    WriteFile(locked, lockedContent);
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);

    const QList<std::pair<QString, QString>> cases = {
        {folder, S(u"it is not a regular file")},
        {pipe, S(u"it is not a regular file")},
        {huge, S(u"it is larger than 32 MiB")},
        {locked, QString::fromLocal8Bit(std::strerror(EACCES))},
    };
    for (const auto& [path, reason] : cases) {
        for (const bool create : {false, true}) {
            auto store = CreateFileSettingsStore(path);
            QCOMPARE(
                ErrorOf([&] { store->OpenKey(kKey, create); }),
                QStringLiteral("The settings file \"%1\" cannot be read: %2.").arg(path, reason));
            store->CloseKey();
        }
    }
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QFileInfo(huge).size(), qint64(64) * 1024 * 1024);
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0600) == 0);
    QCOMPARE(ReadFile(locked), lockedContent);
}

// Damaged between opening the key and writing the value: left as it is, and
// the failure says why.
void tst_SettingsStore::fileDamagedAfterOpenIsNotWritten() {
    WriteFile(Path(), kSection + "\"Data\"=\"old\"\n");
    auto store = CreateFileSettingsStore(Path());
    QVERIFY(store->OpenKey(kKey, false));
    const QByteArray damaged = kSection + "\"Data\"=hex(1):41,00,\\";
    WriteFile(Path(), damaged);
    QCOMPARE(
        ErrorOf([&] { store->WriteString(S(u"Data"), S(u"new")); }),
        QStringLiteral("Failed to set data for 'Data'. The settings file \"%1\" cannot be read: "
                       "it ends in the middle of line 2.")
            .arg(Path()));
    store->CloseKey();
    QCOMPARE(ReadFile(Path()), damaged);
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
    QTest::newRow("hex(1) empty") << h + "\"Data\"=hex(1):\n" << QString();
    QTest::newRow("hex(1) terminator only") << h + "\"Data\"=hex(1):00,00\n" << QString();
    QTest::newRow("hex(1) single-digit bytes") << h + "\"Data\"=hex(1):9,0,0,0\n" << S(u"\t");
    QTest::newRow("hex(1) continued")
        << h + "\"Data\"=hex(1):41,00,\\\n  42,00,\\\r\n  43,00,00,00\n\"B\"=\"2\"\n"
        << S(u"ABC");
    QTest::newRow("hex(2)") << h + "\"Data\"=hex(2):25,00,41,00,25,00,00,00\n" << S(u"%A%");
    QTest::newRow("hex(1) complete at the end without line break")
        << h + "\"Data\"=hex(1):41,00,00,00\n\"B\"=\"2\"" << S(u"A");
    QTest::newRow("damaged line of another value") << h + "\"B\"=hex(1):zz\n\"Data\"=\"x\"\n"
                                                   << S(u"x");
    QTest::newRow("damaged line in another key")
        << "[Other]\n\"Data\"=\"bad\nfree text\n" + h + "\"Data\"=\"x\"\n"
        << S(u"x");
    QTest::newRow("damaged line before any key") << "\"Data\"=\"bad\n" + h + "\"Data\"=\"x\"\n"
                                                 << S(u"x");

    // As regedit exports: UTF-16 with its byte order mark, CR LF.
    const QString exported = S(u"Windows Registry Editor Version 5.00\r\n\r\n"
                               u"[Software/Ostrand/VMR/Settings]\r\n"
                               u"\"Data\"=\"h\u00E9llo \u20AC \U0001F600\"\r\n\r\n");
    QTest::newRow("utf-16le") << Utf16(exported, false) << S(u"h\u00E9llo \u20AC \U0001F600");
    QTest::newRow("utf-16be") << Utf16(exported, true) << S(u"h\u00E9llo \u20AC \U0001F600");
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
    QTest::addColumn<bool>("mayBeData"); // the line may have been meant for "Data"

    QTest::newRow("free text") << QByteArray("this is not a value") << true;
    QTest::newRow("unterminated name") << QByteArray("\"Data") << true;
    QTest::newRow("no equals") << QByteArray("\"Data\" \"x\"") << true;
    QTest::newRow("nothing after equals") << QByteArray("\"Data\"=") << true;
    QTest::newRow("unterminated string") << QByteArray("\"Data\"=\"bad") << true;
    QTest::newRow("bad escape closes no string") << QByteArray(R"("Data"="bad\")") << true;
    QTest::newRow("text after string") << QByteArray("\"Data\"=\"bad\" trailing") << true;
    QTest::newRow("bad hex digit") << QByteArray("\"Data\"=hex(1):zz,00") << true;
    QTest::newRow("three-digit byte") << QByteArray("\"Data\"=hex(1):123,00") << true;
    QTest::newRow("empty byte") << QByteArray("\"Data\"=hex(1):41,,00") << true;
    QTest::newRow("comma only") << QByteArray("\"Data\"=hex(1):,") << true;
    QTest::newRow("odd byte count of a text") << QByteArray("\"Data\"=hex(1):41,00,42") << true;
    QTest::newRow("hex continuation cut by a key")
        << QByteArray("\"Data\"=hex(1):41,00,\\\n[Software/Ostrand/VMR/Settings]") << true;
    QTest::newRow("hex continuation cut by a value")
        << QByteArray("\"Data\"=hex(1):41,00,\\\n\"Other\"=\"1\"") << true;
    QTest::newRow("bad type number") << QByteArray("\"Data\"=hex(zz):41,00") << true;
    QTest::newRow("type number too long") << QByteArray("\"Data\"=hex(123456789):41,00") << true;
    QTest::newRow("unclosed type") << QByteArray("\"Data\"=hex(1:41,00") << true;
    QTest::newRow("dword too long") << QByteArray("\"Data\"=dword:123456789") << true;
    QTest::newRow("dword empty") << QByteArray("\"Data\"=dword:") << true;
    QTest::newRow("dword not hex") << QByteArray("\"Data\"=dword:xyz") << true;
    QTest::newRow("deletion mark") << QByteArray("\"Data\"=-") << true;
    QTest::newRow("unknown type prefix") << QByteArray("\"Data\"=str(2):\"bad\"") << true;
    QTest::newRow("name case differs") << QByteArray("\"DATA\"=\"bad") << true;
    QTest::newRow("nameless equals") << QByteArray("=\"bad\"") << true;
    QTest::newRow("export header") << QByteArray("REGEDIT4") << true;

    QTest::newRow("another value's data") << QByteArray("\"Other\"=\"bad") << false;
    QTest::newRow("another value's hex") << QByteArray("\"Other\"=hex(1):zz") << false;
    QTest::newRow("another value without equals") << QByteArray("\"Other\" 1") << false;
    QTest::newRow("lone at sign") << QByteArray("@") << false;
    QTest::newRow("default value's data") << QByteArray("@=\"bad") << false;
}

// A damaged line in the key that may be the value's, before or after its
// definition, makes the value unreadable, and the file is left as it is: it
// never reads as missing or as an older definition. A damaged line of
// another value neither hides nor replaces it, and a rewrite keeps it byte
// for byte.
void tst_SettingsStore::malformedLines() {
    QFETCH(QByteArray, bad);
    QFETCH(bool, mayBeData);
    const QByteArray good = "\"Data\"=\"ok\"\n";
    for (const bool badFirst : {false, true}) {
        const QByteArray before = kSection + (badFirst ? bad + "\n" + good : good + bad + "\n") +
                                  "[Software/Next]\n\"Data\"=\"next\"\n";
        WriteFile(Path(), before);
        auto store = CreateFileSettingsStore(Path());
        QVERIFY(store->OpenKey(kKey, false));
        if (mayBeData) {
            const QString damaged =
                QStringLiteral("The value 'Data' cannot be read: line %1 of the settings file "
                               "\"%2\" is damaged.")
                    .arg(badFirst ? 2 : 3)
                    .arg(Path());
            QCOMPARE(ErrorOf([&] { store->ReadString(S(u"Data")); }), damaged);
            QCOMPARE(ErrorOf([&] { store->WriteString(S(u"Data"), S(u"new")); }),
                     S(u"Failed to set data for 'Data'. ") + damaged);
            store->CloseKey();
            QCOMPARE(ReadFile(Path()), before);
            QCOMPARE(ReadData(Path(), S(u"Software/Next")), S(u"next"));
            continue;
        }
        QCOMPARE(store->ReadString(S(u"Data")), S(u"ok"));
        store->WriteString(S(u"Data"), S(u"new"));
        store->CloseKey();
        QByteArray expected = before;
        expected.replace("\"Data\"=\"ok\"", "\"Data\"=\"new\"");
        QCOMPARE(ReadFile(Path()), expected);
        QCOMPARE(ReadData(Path()), S(u"new"));
    }
}

void tst_SettingsStore::largeAndOddInput() {
    // Megabytes of noise inside the key: no crash, whatever it yields.
    {
        QRandomGenerator random(20240611);
        QByteArray noise(4 * 1024 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        WriteFile(Path(), kSection + noise);
        auto store = CreateFileSettingsStore(Path());
        QString read = S(u"<not read>");
        const QString error = ErrorOf([&] {
            if (store->OpenKey(kKey, false))
                read = store->ReadString(QStringLiteral("Data"));
        });
        QVERIFY2(!error.isEmpty(), qPrintable(read));
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
    // Read as UTF-16, written as UTF-16.
    QTest::newRow("utf-16le kept")
        << Utf16(
               S(u"Windows Registry Editor Version 5.00\r\n\r\n[Software/Ostrand/VMR/Settings]\r\n"
                 u"\"A\"=\"\u00E9\U0001F600\"\r\n\"Data\"=\"old\"\r\n\r\n"),
               false)
        << Utf16(
               S(u"Windows Registry Editor Version 5.00\r\n\r\n[Software/Ostrand/VMR/Settings]\r\n"
                 u"\"A\"=\"\u00E9\U0001F600\"\r\n\"Data\"=\"new\"\r\n\r\n"),
               false);
    QTest::newRow("utf-16be, value added")
        << Utf16(S(u"[Software/Ostrand/VMR/Settings]\r\n\"A\"=\"1\"\r\n"), true)
        << Utf16(S(u"[Software/Ostrand/VMR/Settings]\r\n\"A\"=\"1\"\r\n\"Data\"=\"new\"\r\n"),
                 true);
    QTest::newRow("utf-16le, key added")
        << Utf16(S(u"[Z]\r\n"), false)
        << Utf16(S(u"[Z]\r\n\r\n[Software/Ostrand/VMR/Settings]\r\n\"Data\"=\"new\"\r\n"), false);
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
