#include "kel_edit.h"

#include "kel_resourcestrings.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

bool LookUpChanging = false;

QString AsciiLower(const QString& S) {
    QString r = S;
    for (QChar& c : r)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return r;
}

QString TrimLeftControls(const QString& S) {
    qsizetype i = 0;
    while (i < S.size() && S[i].unicode() <= 32)
        ++i;
    return S.mid(i);
}

QString TrimControls(const QString& S) {
    qsizetype end = S.size();
    while (end > 0 && S[end - 1].unicode() <= 32)
        --end;
    return TrimLeftControls(S.left(end));
}

TLookUpEdit::TLookUpEdit(QWidget* Parent) : QLineEdit(Parent) {
    FEmptyFont = {font(), QColor(128, 128, 128)};
    QFont& f = FEmptyFont.Font;
    f.setItalic(true);
    f.setBold(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    FTextFont = {font(), palette().color(QPalette::Text)};
    QLineEdit::setText(QString());
    FEmptyString = LoadResString(SFillInYourText);
    // Connected last: construction itself shows no hint.
    connect(this, &QLineEdit::textChanged, this, [this] { FRelay.Handle([this] { Change(); }); });
}

QString TLookUpEdit::Text() const {
    const QString raw = RawText();
    return raw == FEmptyString ? QString() : raw;
}

void TLookUpEdit::SetText(const QString& Value) {
    if (RawText() != Value)
        FRelay.CallQt([&] { QLineEdit::setText(Value); });
}

bool TLookUpEdit::IsEmpty() const {
    const QString raw = RawText();
    return raw.isEmpty() || raw == FEmptyString;
}

QString TLookUpEdit::GetMatches(int Index) const {
    return Index >= 0 && Index < FMatchList.size() ? FMatchList[Index] : QString();
}

int TLookUpEdit::SelStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

int TLookUpEdit::SelLength() const {
    return selectionLength();
}

void TLookUpEdit::SetSel(int Start, int Length) {
    if (Length > 0)
        setSelection(Start, Length);
    else
        setCursorPosition(Start);
}

void TLookUpEdit::ApplyFont(const TEditFont& Value) {
    setFont(Value.Font);
    QPalette p = palette();
    p.setColor(QPalette::Text, Value.Color);
    setPalette(p);
}

void TLookUpEdit::SetEmptyString(const QString& Value) {
    if (FParFont)
        UpdateFromParentFont();
    if (IsEmpty() || Text() == Value) {
        FEmptyString = Value;
        ApplyFont(FEmptyFont);
        SetText(Value);
    } else {
        FEmptyString = Value;
    }
}

void TLookUpEdit::SetEmptyFont(const TEditFont& Value) {
    FEmptyFont = Value;
    if (IsEmpty())
        ApplyFont(FEmptyFont);
}

void TLookUpEdit::SetTextFont(const TEditFont& Value) {
    FTextFont = Value;
    if (!IsEmpty())
        ApplyFont(FTextFont);
}

void TLookUpEdit::SetParentFont(bool Value) {
    FParFont = Value;
    if (Value)
        UpdateFromParentFont();
}

void TLookUpEdit::UpdateFromParentFont() {
    QWidget* form = parentWidget();
    while (form && !form->isWindow())
        form = form->parentWidget();
    if (!form)
        return;
    const QFont ff = form->font();
    if (ff.pixelSize() > 0)
        FEmptyFont.Font.setPixelSize(ff.pixelSize());
    else
        FEmptyFont.Font.setPointSizeF(ff.pointSizeF());
    FTextFont = {ff, form->palette().color(QPalette::WindowText)};
}

void TLookUpEdit::Change() {
    if (LookUpChanging)
        return;
    // Cleared however the processing ends, also when the change handler
    // throws: a flag left set would switch off every lookup edit for good.
    struct TGuard {
        TLookUpEdit* Edit;
        TGuard(TLookUpEdit* e) : Edit(e) { LookUpChanging = true; }
        ~TGuard() {
            Edit->FNoMatch = false;
            LookUpChanging = false;
        }
    } guard(this);

    if (FParFont)
        UpdateFromParentFont();
    if (IsEmpty()) {
        ApplyFont(FEmptyFont);
        QLineEdit::setText(FEmptyString);
        setCursorPosition(0);
    } else {
        ApplyFont(FTextFont);
        QString completed;
        int index;
        const QString typed = Text();
        if (!FNoMatch && FindMatch(typed, completed, index))
            ApplyMatch(typed, completed, index);
    }
    if (OnChange)
        OnChange();
}

bool TLookUpEdit::FindMatch(const QString& Text, QString& Completed, int& Index) const {
    Index = -1;
    Completed.clear();
    const QString key = TrimLeftControls(AsciiLower(Text));
    if (key.isEmpty())
        return false;
    for (int i = 0; i < FMatchList.size(); ++i) {
        if (AsciiLower(FMatchList[i]).startsWith(key)) {
            Completed = Text.left(Text.size() - key.size()) + FMatchList[i];
            Index = i;
            return true;
        }
    }
    return false;
}

void TLookUpEdit::ApplyMatch(const QString& Typed, const QString& Completed, int) {
    SetText(Typed + Completed.mid(Typed.size()));
    SetSel(static_cast<int>(Typed.size()), static_cast<int>(Completed.size() - Typed.size()));
}

void TLookUpEdit::AddToMatchList() {
    QString s = Text();
    for (const QString& m : FMatchList)
        if (m.compare(s, Qt::CaseInsensitive) == 0)
            return;
    s = TrimControls(s);
    if (OnAddMatchItem)
        OnAddMatchItem(this, s);
    if (!s.isEmpty())
        FMatchList.append(s);
}

int TLookUpEdit::KeyChar(const QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Delete:
        return 0;
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = Event->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && Event->key() >= Qt::Key_A &&
        Event->key() <= Qt::Key_Z)
        return Event->key() - Qt::Key_A + 1;
    const QString t = Event->text();
    if (t.isEmpty() || t[0].unicode() < 32 || t[0].unicode() == 127)
        return 0;
    return t[0].unicode();
}

void TLookUpEdit::KeyPress(int Char) {
    if (IsEmpty()) {
        // The typed character replaces the hint.
        SetSel(0, TextLength());
    } else if (Char == 8 && SelLength() > 0 && SelStart() > 0) {
        // Backspace over a completion also takes the last typed character.
        const int len = SelLength();
        SetSel(SelStart() - 1, len + 1);
    }
}

// Errors of the change handler are held while QLineEdit handles the key, and
// shown once it is done.
void TLookUpEdit::keyPressEvent(QKeyEvent* Event) {
    RunGuarded([&] {
        const bool isDelete = Event->key() == Qt::Key_Delete;
        if (isDelete)
            FNoMatch = SelStart() < TextLength();
        if (const int c = KeyChar(Event))
            KeyPress(c);
        FRelay.CallQt([&] { QLineEdit::keyPressEvent(Event); });
        // A Delete that changed nothing must not hold back a later completion.
        if (isDelete)
            FNoMatch = false;
    });
}

void TLookUpEdit::inputMethodEvent(QInputMethodEvent* Event) {
    RunGuarded([&] {
        if (!Event->commitString().isEmpty())
            KeyPress(Event->commitString()[0].unicode());
        FRelay.CallQt([&] { QLineEdit::inputMethodEvent(Event); });
    });
}

// Focus that comes and goes with the whole window, or with a popup menu, is
// no entry into or exit from the control.
static bool MovesBetweenControls(const QFocusEvent* Event) {
    return Event->reason() != Qt::ActiveWindowFocusReason &&
           Event->reason() != Qt::PopupFocusReason;
}

void TLookUpEdit::focusInEvent(QFocusEvent* Event) {
    QLineEdit::focusInEvent(Event);
    if (!MovesBetweenControls(Event))
        return;
    RunGuarded([this] {
        if (IsEmpty())
            setCursorPosition(0);
        if (OnEnter)
            OnEnter();
    });
}

void TLookUpEdit::focusOutEvent(QFocusEvent* Event) {
    const bool exits = MovesBetweenControls(Event);
    // Qt's own focus handling runs even when the match list's handler fails;
    // the exit handler then does not.
    const bool added = !exits || RunGuarded([this] { AddToMatchList(); });
    QLineEdit::focusOutEvent(Event);
    if (exits && added && OnExit)
        RunGuarded(OnExit);
}

void TLookUpEdit::mouseReleaseEvent(QMouseEvent* Event) {
    QLineEdit::mouseReleaseEvent(Event);
    if (Event->button() != Qt::LeftButton || !rect().contains(Event->position().toPoint()))
        return;
    RunGuarded([this] {
        if (OnClick)
            OnClick();
        if (IsEmpty())
            setCursorPosition(0);
    });
}
