#pragma once
// Wiping of texts that held a password or a crypt string, so that they do not
// stay behind in freed memory.
//
// Qt's strings are implicitly shared: a copy is one more reference to the same
// storage. Only storage that the program holds alone (isDetached) is wiped;
// writing into shared storage would change the text under its other holders,
// Qt's among them. A shared string is only released, so whoever holds the last
// reference wipes it when it wipes its own copy. Static storage (literals,
// raw data) is never written.

#include <QByteArray>
#include <QString>
#include <string>

class QLineEdit;

// Zeroes the whole allocation, the unused room before and after the text
// included, and leaves S empty with its allocation kept; a shared or static S
// is released instead. Returns whether storage was wiped.
bool WipeOwned(QString& S) noexcept;
bool WipeOwned(QByteArray& S) noexcept;

// Empties a line edit that holds a secret. Its undo history goes with the
// text, and the storage of its last text is wiped once the edit has let go of
// it, unless another holder keeps it. What the edit held before (each text it
// outgrew while being typed into) is Qt's and is not reached.
void WipeLineEdit(QLineEdit* Edit);
// The same, but the storage of the edit's last text is handed over instead of
// wiped, for WipeOwned later: inside the edit's own signals, the code that
// changed the text may still hold it, so it is not the caller's alone yet.
QString TakeLineEditText(QLineEdit* Edit);

// Target := Value, with Target's old bytes wiped first.
void AssignSecret(std::string& Target, const std::string& Value);
