#pragma once
// An independent AES implementation for tests: the openssl command line tool.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <string>

// AES-ECB of Data (a multiple of 16 bytes) under Key (16, 24 or 32 bytes),
// without padding. Empty when openssl is missing or fails.
inline std::string OpenSslEcbEncrypt(const std::string& Key, const std::string& Data) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (tool.isEmpty())
        return {};
    const QString cipher = QStringLiteral("-aes-%1-ecb").arg(Key.size() * 8);
    QProcess p;
    p.start(tool, {QStringLiteral("enc"), cipher, QStringLiteral("-nopad"), QStringLiteral("-K"),
                   QString::fromLatin1(QByteArray::fromStdString(Key).toHex())});
    p.write(Data.data(), static_cast<qint64>(Data.size()));
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput().toStdString();
}
