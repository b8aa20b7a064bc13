#include "SecureText.h"

#include "cCipherUtils.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace {
template <typename S> bool WipeStorage(S& s) noexcept {
    if (!s.isDetached()) {
        s = S();
        return false;
    }
    auto& d = s.data_ptr();
    // From the start of the allocation: text removed from the front leaves
    // its characters before data().
    auto* start = d.data() - d.freeSpaceAtBegin();
    SecureZero(start, std::ptrdiff_t(d.constAllocatedCapacity() * qsizetype(sizeof *start)));
    s.resize(0);
    return true;
}
} // namespace

bool WipeOwned(QString& S) noexcept {
    return WipeStorage(S);
}

bool WipeOwned(QByteArray& S) noexcept {
    return WipeStorage(S);
}

QString TakeLineEditText(QLineEdit* Edit) {
    // A copy of the text shares the edit's storage. Once the edit holds an
    // empty text (setText also drops the undo history, which clear() keeps),
    // the copy may be the storage's only holder.
    QString last = Edit->text();
    const QSignalBlocker block(Edit);
    Edit->setText(QString());
    return last;
}

void WipeLineEdit(QLineEdit* Edit) {
    QString last = TakeLineEditText(Edit);
    WipeOwned(last);
}

void AssignSecret(std::string& Target, const std::string& Value) {
    if (&Target == &Value)
        return;
    SecureZero(Target);
    Target = Value;
}
