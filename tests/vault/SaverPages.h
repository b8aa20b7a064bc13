#pragma once
// The vaults the kill test's saver writes over and over: generation g holds
// variant g % 4, so that any two generations in a row differ in size and
// bytes. Parent and saver build them alike, so the parent knows both contents
// a killed save can leave.

#include "vault/PageFixtures.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Stands in every page's title and text; no file may ever hold it in clear.
inline const QByteArray SaverMarker = "PLAIN-page-marker-7c31";

constexpr int kSaverVariants = 4;

inline void FillSaverPages(TOwnedPages& Pages, int Variant) {
    // About 2 to 2.75 MiB of text over eight pages.
    const int pageBytes = (256 + 32 * Variant) * 1024;
    for (int i = 0; i < 8; ++i) {
        QByteArray text = "{\\rtf1\\ansi " + SaverMarker + ' ';
        const QByteArray word = QByteArray::number(Variant * 1000 + i) + ' ';
        while (text.size() < pageBytes)
            text += word;
        text += '}';
        Pages.Add(QString::fromLatin1(SaverMarker) + QString::number(i), text);
    }
}

// The marker as it stands in a title (UTF-16LE) and in a text.
inline QList<QByteArray> SaverMarkerForms() {
    QByteArray utf16;
    for (char c : SaverMarker)
        utf16 += QByteArray(1, c) + '\0';
    return {SaverMarker, utf16};
}
