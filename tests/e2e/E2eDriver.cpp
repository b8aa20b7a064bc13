#include "E2eDriver.h"

#include "AnsiCodePage.h"
#include "RtfReader.h"
#include "SettingsStore.h"
#include "vmr_utils.h"
#include "vmr_vault.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QThread>
#include <QUrl>
#include <QtGlobal>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
constexpr int PollMs = 50;

void Pause(int Ms) {
    QThread::msleep(static_cast<unsigned long>(Ms));
}

xcb_atom_t Atom(xcb_connection_t* C, const char* Name) {
    auto cookie = xcb_intern_atom(C, 0, static_cast<uint16_t>(std::strlen(Name)), Name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(C, cookie, nullptr), &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}
} // namespace

TXServer::~TXServer() {
    if (FServer.state() != QProcess::NotRunning) {
        FServer.terminate();
        if (!FServer.waitForFinished(3000))
            FServer.kill();
        FServer.waitForFinished(3000);
    }
}

QString TXServer::Start(const QString& Geometry) {
    // -displayfd 1: the server picks a free display and names it on stdout.
    // -noreset: no reset (and no refused connections) between two runs.
    FServer.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), Geometry, QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!FServer.waitForStarted(5000))
        return QStringLiteral("Xvfb did not start: ") + FServer.errorString();
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (!out.contains('\n') && !deadline.hasExpired() && FServer.state() == QProcess::Running) {
        FServer.waitForReadyRead(PollMs);
        out += FServer.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok)
        return QStringLiteral("Xvfb named no display: ") +
               QString::fromLocal8Bit(FServer.readAllStandardError());
    FDisplay = QStringLiteral(":%1").arg(number);
    return {};
}

TProgramHome::TProgramHome(const TXServer& Server) : FServer(Server) {
    if (!FDir.isValid())
        return;
    const QString program = FDir.filePath(QStringLiteral("app/vellomar"));
    QDir().mkpath(FDir.filePath(QStringLiteral("app")));
    QDir().mkpath(FDir.filePath(QStringLiteral("config")));
    if (QFile::copy(QStringLiteral(VMR_PROGRAM), program))
        FProgram = program;
}

TProgramHome::~TProgramHome() {
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
    }
}

QString TProgramHome::VaultPath() const {
    return FDir.filePath(QStringLiteral("app/vellomar.pgs"));
}

QString TProgramHome::SettingsPath() const {
    return FDir.filePath(QStringLiteral("config/vellomar/user.reg"));
}

bool TProgramHome::VaultExists() const {
    return QFileInfo::exists(VaultPath());
}

QByteArray TProgramHome::VaultBytes() const {
    QFile f(VaultPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<TStoredPage> TProgramHome::VaultPages() const {
    QList<TStoredPage> pages;
    ReadVaultFile(VaultPath(), [&](TPage* p) {
        pages.append({p->Title(), p->Text()});
        delete p;
    });
    return pages;
}

void TProgramHome::WriteVault(const QList<TStoredPage>& Pages) const {
    WriteVaultBytes(VaultBytesOf(Pages));
}

bool TProgramHome::WriteVaultBytes(const QByteArray& Bytes) const {
    QFile f(VaultPath());
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(Bytes) == Bytes.size();
}

std::string TProgramHome::StoredCryptString() const {
    if (!QFileInfo::exists(SettingsPath()))
        return {};
    auto store = CreateFileSettingsStore(SettingsPath());
    if (!store->OpenKey(SettingsKey, false))
        return {};
    const std::string value = AnsiFromUnicode(store->ReadString(SettingsValue));
    store->CloseKey();
    return value;
}

bool TProgramHome::Start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), FServer.Display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), FDir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("HOME"), FDir.path());
    for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "XAUTHORITY"})
        env.remove(QString::fromLatin1(name));
    FProcess.setProcessEnvironment(env);
    FProcess.setProcessChannelMode(QProcess::SeparateChannels);
    FFocused = 0;
    FProcess.start(FProgram, {});
    return FProcess.waitForStarted(5000);
}

bool TProgramHome::IsRunning() {
    // Without an event loop the state is only brought up to date here.
    FProcess.waitForFinished(0);
    return FProcess.state() != QProcess::NotRunning;
}

int TProgramHome::WaitExit(int Ms) {
    if (FProcess.state() != QProcess::NotRunning && !FProcess.waitForFinished(Ms)) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
        return -1;
    }
    return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
}

QString TProgramHome::Errors() {
    return QString::fromLocal8Bit(FProcess.readAllStandardError());
}

bool TProgramHome::Xdo(const QStringList& Args, QByteArray* Out) {
    QProcess xdo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), FServer.Display());
    xdo.setProcessEnvironment(env);
    xdo.start(QStringLiteral("xdotool"), Args);
    if (!xdo.waitForFinished(5000)) {
        xdo.kill();
        xdo.waitForFinished(1000);
        return false;
    }
    if (Out)
        *Out = xdo.readAllStandardOutput();
    return xdo.exitStatus() == QProcess::NormalExit && xdo.exitCode() == 0;
}

qulonglong TProgramHome::FindWindow(const QString& NamePattern) {
    QByteArray out;
    if (!Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
              NamePattern},
             &out))
        return 0;
    const QList<QByteArray> ids = out.trimmed().split('\n');
    return ids.isEmpty() ? 0 : ids.last().toULongLong();
}

qulonglong TProgramHome::WaitWindow(const QString& NamePattern, int Ms) {
    const QDeadlineTimer deadline(Ms);
    do {
        if (const qulonglong w = FindWindow(NamePattern))
            return w;
        if (!IsRunning())
            return 0;
        Pause(PollMs);
    } while (!deadline.hasExpired());
    return 0;
}

bool TProgramHome::WaitNoWindow(const QString& NamePattern, int Ms) {
    const QDeadlineTimer deadline(Ms);
    do {
        if (!FindWindow(NamePattern))
            return true;
        Pause(PollMs);
    } while (!deadline.hasExpired());
    return false;
}

QRect TProgramHome::Geometry(qulonglong Window) {
    QByteArray out;
    if (!Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
              QString::number(Window)},
             &out))
        return {};
    QRect r;
    for (const QByteArray& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        const QByteArray key = line.left(eq);
        const int value = line.mid(eq + 1).toInt();
        if (key == "X")
            r.moveLeft(value);
        else if (key == "Y")
            r.moveTop(value);
        else if (key == "WIDTH")
            r.setWidth(value);
        else if (key == "HEIGHT")
            r.setHeight(value);
    }
    return r;
}

bool TProgramHome::Focus(qulonglong Window) {
    if (Window == FFocused)
        return true;
    if (!Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(Window)}))
        return false;
    FFocused = Window;
    // Keys that come before the program has taken in its focus change find
    // no focused control and are lost.
    Pause(150);
    return true;
}

bool TProgramHome::Type(qulonglong Window, const QString& Text) {
    return Focus(Window) &&
           Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), Text});
}

bool TProgramHome::Keys(qulonglong Window, const QStringList& KeySyms) {
    return Focus(Window) &&
           Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("20")} +
               KeySyms);
}

bool TProgramHome::Save(qulonglong Window, int Ms) {
    const QByteArray before = VaultBytes();
    const QDeadlineTimer deadline(Ms);
    while (!deadline.hasExpired() && IsRunning()) {
        if (!Keys(Window, {QStringLiteral("ctrl+s")}))
            return false;
        const QDeadlineTimer wait(std::min<qint64>(5000, deadline.remainingTime()));
        do {
            if (VaultBytes() != before)
                return true;
            Pause(PollMs);
        } while (!wait.hasExpired());
    }
    return false;
}

bool TProgramHome::Click(qulonglong Window, int X, int Y, bool Double) {
    QStringList args{QStringLiteral("mousemove"), QStringLiteral("--window"),
                     QString::number(Window),     QString::number(X),
                     QString::number(Y),          QStringLiteral("click")};
    if (Double)
        args << QStringLiteral("--repeat") << QStringLiteral("2");
    args << QStringLiteral("1");
    return Xdo(args);
}

bool TProgramHome::RequestClose(qulonglong Window) {
    const QByteArray display = FServer.Display().toLatin1();
    xcb_connection_t* c = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = static_cast<xcb_window_t>(Window);
    e.type = Atom(c, "WM_PROTOCOLS");
    e.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, e.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    const bool ok = xcb_flush(c) > 0;
    xcb_disconnect(c);
    return ok;
}

QByteArray VaultBytesOf(const QList<TStoredPage>& Pages) {
    TPageList list;
    for (const TStoredPage& s : Pages) {
        auto* p = KelNewCreated<TPage>();
        p->SetTitle(s.Title);
        p->SetText(s.Text);
        list.Add(p); // the order given, unsorted
    }
    const QByteArray bytes = VaultData(list, list.Count());
    list.ClearAll();
    return bytes;
}

QPoint MainPoint(const QRect& MainGeometry, int DesignX, int DesignY) {
    const double scale = MainGeometry.width() / 2330.0;
    return {qRound(DesignX * scale), qRound(DesignY * scale)};
}

TClipboard::~TClipboard() {
    Stop();
}

void TClipboard::Stop() {
    if (FOwner.state() != QProcess::NotRunning) {
        FOwner.kill();
        FOwner.waitForFinished(3000);
    }
}

bool TClipboard::Offer(const QString& MimeType, const QByteArray& Data) {
    Stop();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), FServer.Display());
    // -quiet keeps xclip in the foreground, so that it can be ended here.
    FOwner.setProcessEnvironment(env);
    FOwner.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                           QStringLiteral("clipboard"), QStringLiteral("-t"),
                                           MimeType, QStringLiteral("-i")});
    if (!FOwner.waitForStarted(5000))
        return false;
    FOwner.write(Data);
    FOwner.closeWriteChannel();
    FOwner.waitForBytesWritten(5000);
    // The selection is taken only once all input is read: until the targets
    // name the type, a paste would find the clipboard's old content.
    const QDeadlineTimer deadline(10000);
    do {
        QProcess targets;
        targets.setProcessEnvironment(env);
        targets.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                                QStringLiteral("clipboard"), QStringLiteral("-t"),
                                                QStringLiteral("TARGETS")});
        if (!targets.waitForFinished(3000)) {
            targets.kill();
            targets.waitForFinished(1000);
        } else if (targets.readAllStandardOutput().split('\n').contains(MimeType.toLatin1())) {
            return true;
        }
        if (FOwner.state() == QProcess::NotRunning)
            return false;
        Pause(PollMs);
    } while (!deadline.hasExpired());
    return false;
}

namespace {
QString Simplified(QString S) {
    S.remove(QChar::ObjectReplacementCharacter);
    S.replace(QChar::ParagraphSeparator, u' ');
    S.replace(QChar::LineSeparator, u' ');
    return S.simplified();
}

QString PictureText(const QTextDocument& Doc, const QTextImageFormat& F) {
    const QVariant res = Doc.resource(QTextDocument::ImageResource, QUrl(F.name()));
    QSize own;
    if (res.canConvert<QImage>())
        own = res.value<QImage>().size();
    if (own.isEmpty() && res.canConvert<QByteArray>())
        own = QImage::fromData(res.toByteArray()).size();
    return QStringLiteral("%1x%2 of %3x%4")
        .arg(qRound(F.width()))
        .arg(qRound(F.height()))
        .arg(own.width())
        .arg(own.height());
}
} // namespace

QString PageStructure(const QByteArray& Rtf) {
    QTextDocument doc;
    if (!ReadRtf(Rtf, doc))
        return QStringLiteral("not RTF");
    QStringList pictures, items, links, tables;
    QList<QTextTable*> seen;
    QString lastHref;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (const QTextList* l = b.textList()) {
            const QTextListFormat::Style st = l->format().style();
            const bool bullet = st == QTextListFormat::ListDisc ||
                                st == QTextListFormat::ListCircle ||
                                st == QTextListFormat::ListSquare;
            items << QStringLiteral("%1/%2 %3")
                         .arg(bullet ? QStringLiteral("bullet") : QStringLiteral("numbered"))
                         .arg(l->format().indent())
                         .arg(Simplified(b.text()));
        }
        if (QTextTable* t = QTextCursor(b).currentTable(); t && !seen.contains(t))
            seen.append(t);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            if (cf.isImageFormat())
                for (int i = 0; i < f.length(); ++i)
                    pictures << PictureText(doc, cf.toImageFormat());
            // One link may span fragments of several formats.
            const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
            if (!href.isEmpty() && href != lastHref)
                links << href;
            lastHref = href;
        }
    }
    for (QTextTable* t : seen) {
        QStringList cells;
        for (int r = 0; r < t->rows(); ++r)
            for (int c = 0; c < t->columns(); ++c) {
                const QTextTableCell cell = t->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue; // covered by a merged cell
                QTextCursor cur = cell.firstCursorPosition();
                cur.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells << QStringLiteral("%1 (%2x%3)")
                             .arg(Simplified(cur.selectedText()))
                             .arg(cell.rowSpan())
                             .arg(cell.columnSpan());
            }
        tables
            << QStringLiteral("%1x%2: %3").arg(t->rows()).arg(t->columns()).arg(cells.join(u" | "));
    }
    static const QRegularExpression nonWord(QStringLiteral("\\W+"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    const QStringList words = DocumentText(doc).split(nonWord, Qt::SkipEmptyParts);
    // Joined, not filled in with arg(): a link or a word may hold a '%'.
    const auto line = [](const char* Name, const QStringList& L, QStringView Sep) {
        return QString::fromLatin1(Name) + u' ' + QString::number(L.size()) + QStringLiteral(" [") +
               L.join(Sep) + u']';
    };
    return QStringList{line("pictures", pictures, u", "), line("list items", items, u", "),
                       line("tables", tables, u"; "), line("links", links, u", "),
                       QStringLiteral("words ") + words.join(u' ')}
        .join(u'\n');
}
