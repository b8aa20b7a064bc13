#pragma once
// Runs the real program in a private X server and drives it the way a person
// does: with key presses and mouse clicks through xdotool. Everything the
// stories check comes from what the program leaves behind: its vault file,
// its settings file and its exit code.
//
// Every wait has a deadline; a program that does not end in time is killed.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One Xvfb server, on a display number it picks itself, so that test runs in
// parallel never meet.
class TXServer {
public:
    TXServer() = default;
    ~TXServer();
    // Empty on success, otherwise why the server did not start.
    QString Start(const QString& Geometry = QStringLiteral("1280x1024x24"));
    QString Display() const { return FDisplay; }

private:
    QProcess FServer;
    QString FDisplay;
};

struct TStoredPage {
    QString Title;
    QByteArray Text;
};

// A folder with its own copy of the program (so the vault lies beside it) and
// its own settings folder, in which the program can be started again and again.
class TProgramHome {
public:
    explicit TProgramHome(const TXServer& Server);
    ~TProgramHome();

    bool IsValid() const { return !FProgram.isEmpty(); }
    QString VaultPath() const;
    QString SettingsPath() const;
    bool VaultExists() const;
    QByteArray VaultBytes() const;
    // The pages of the vault, read with the program's own reader.
    QList<TStoredPage> VaultPages() const;
    // Writes a vault holding Pages in the order given.
    void WriteVault(const QList<TStoredPage>& Pages) const;
    // Makes Bytes the vault file as they are; false when they were not written.
    bool WriteVaultBytes(const QByteArray& Bytes) const;
    // The settings store's "Data" value of the program's key, as bytes.
    std::string StoredCryptString() const;

    // Starts the program; false when it did not start.
    bool Start();
    bool IsRunning();
    qint64 ProcessId() const { return FProcess.processId(); }
    // Waits for the program to end; -1 when it had to be killed.
    int WaitExit(int Ms = 10000);

    // The id of a visible window whose name matches the regular expression,
    // waiting for it to appear; 0 on timeout.
    qulonglong WaitWindow(const QString& NamePattern, int Ms = 20000);
    // Waits until no visible window matches; false on timeout.
    bool WaitNoWindow(const QString& NamePattern, int Ms = 10000);
    qulonglong FindWindow(const QString& NamePattern);
    QRect Geometry(qulonglong Window);

    // Input. The window gets the keyboard focus first.
    bool Type(qulonglong Window, const QString& Text);
    bool Keys(qulonglong Window, const QStringList& KeySyms);
    // Ctrl+S in Window until the vault file changes: a press that comes
    // while the program is busy may be lost. False when no save came in Ms.
    bool Save(qulonglong Window, int Ms = 20000);
    // A left click at X, Y inside the window.
    bool Click(qulonglong Window, int X, int Y, bool Double = false);
    // What a window manager's close box does: asks the window to close.
    bool RequestClose(qulonglong Window);

    // The program's standard error, for failure messages.
    QString Errors();

private:
    bool Focus(qulonglong Window);
    bool Xdo(const QStringList& Args, QByteArray* Out = nullptr);

    const TXServer& FServer;
    QTemporaryDir FDir;
    QString FProgram;
    QProcess FProcess;
    qulonglong FFocused = 0;
};

// Data on the X clipboard of a server, offered by an xclip process that owns
// the selection until another owner takes it or this object ends.
class TClipboard {
public:
    explicit TClipboard(const TXServer& Server) : FServer(Server) {}
    ~TClipboard();
    // Offers Data as MimeType and waits until the server lists it; false when
    // it could not be offered in time.
    bool Offer(const QString& MimeType, const QByteArray& Data);

private:
    void Stop();

    const TXServer& FServer;
    QProcess FOwner;
};

// What a person sees of a page's structure, read with the program's RTF
// reader: its pictures with their sizes, list items with kind and level,
// table cells with their spans, link targets and its words, one line each.
QString PageStructure(const QByteArray& Rtf);

// The bytes of a vault holding Pages in the order given, as the program writes
// them.
QByteArray VaultBytesOf(const QList<TStoredPage>& Pages);

// Main window layout: design values at 240 pixels per inch are scaled by the
// window's width against its design width.
QPoint MainPoint(const QRect& MainGeometry, int DesignX, int DesignY);
