#pragma once
// A single-line edit with an empty-text hint and inline completion from a
// list of earlier entries.
//
// The hint is the control's real text shown in its own font, so that it can
// be told apart from content only by comparison: Text() reads "" while the
// hint shows. RawText() is what the edit holds, hint included.

#include "MessageBox.h"

#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QStringList>
#include <functional>

// A font together with the colour the text is drawn in.
struct TEditFont {
    QFont Font;
    QColor Color;
};

// Raised before an entry is added to the match list; the handler may change
// or clear Item.
using TAddMatchItem = std::function<void(QObject* Sender, QString& Item)>;

// Set while any lookup edit processes a change; changes of every lookup edit
// made meanwhile (by the processing itself or by its change handler) are
// skipped entirely.
extern bool LookUpChanging;

class TLookUpEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TLookUpEdit(QWidget* Parent = nullptr);

    // The hint shown while the control holds no text of its own.
    QString EmptyString() const { return FEmptyString; }
    void SetEmptyString(const QString& Value);

    const TEditFont& EmptyFont() const { return FEmptyFont; }
    void SetEmptyFont(const TEditFont& Value);
    const TEditFont& TextFont() const { return FTextFont; }
    void SetTextFont(const TEditFont& Value);

    // Whether the fonts follow the form's font at every change.
    bool ParentFont() const { return FParFont; }
    void SetParentFont(bool Value);

    // The content: the raw text, or "" while the hint shows.
    QString Text() const;
    // Replaces the raw text. The same text as now changes nothing, so that the
    // caret and the selection stay where they are. What the change handler
    // raises reaches the caller; after the user's own typing, the error box
    // shows it.
    void SetText(const QString& Value);
    QString RawText() const { return QLineEdit::text(); }
    // Length of the raw text, hint included.
    int TextLength() const { return static_cast<int>(RawText().size()); }
    // True while the raw text is "" or the hint.
    bool IsEmpty() const;

    const QStringList& MatchList() const { return FMatchList; }
    void SetMatchList(const QStringList& List) { FMatchList = List; }
    // The entry at Index; "" outside the list.
    QString GetMatches(int Index) const;
    QString Matches(int Index) const { return GetMatches(Index); }

    // Selection as start and length; a caret is a selection of length 0.
    int SelStart() const;
    int SelLength() const;
    void SetSel(int Start, int Length);

    // The first entry that begins with Text, ignoring case and leading blanks.
    virtual bool FindMatch(const QString& Text, QString& Completed, int& Index) const;
    // Writes the completion and selects the part beyond what was typed.
    virtual void ApplyMatch(const QString& Typed, const QString& Completed, int Index);
    // Adds Text to the match list unless it holds it already.
    virtual void AddToMatchList();

    // Picks up the font of the form the control stands on.
    void UpdateFromParentFont();

    TAddMatchItem OnAddMatchItem;
    // Raised on every processed change of the raw text, typed or assigned.
    std::function<void()> OnChange;
    std::function<void()> OnClick;
    std::function<void()> OnEnter;
    std::function<void()> OnExit;

protected:
    // Runs on every change of the raw text.
    virtual void Change();

    void keyPressEvent(QKeyEvent* Event) override;
    void inputMethodEvent(QInputMethodEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    void ApplyFont(const TEditFont& Value);
    // What the original key press would type; 0 for keys that type nothing.
    static int KeyChar(const QKeyEvent* Event);
    void KeyPress(int Char);

    QString FEmptyString;
    TEditFont FEmptyFont;
    bool FNoMatch = false;
    // Brings what the change handler raises during SetText to its caller.
    TErrorRelay FRelay;
    bool FParFont = true;
    TEditFont FTextFont;
    QStringList FMatchList;
};

// A-Z turned into a-z; no other character changes.
QString AsciiLower(const QString& S);
// S without leading (and trailing) characters of code 32 or less.
QString TrimLeftControls(const QString& S);
QString TrimControls(const QString& S);
