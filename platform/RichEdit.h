#pragma once
// The rich-text editor control: a QTextEdit with the interface the windows use.
// Positions count each paragraph break as one character, and Text() matches
// them. Page bodies go in and out through Lines as RTF.

#include "Exception.h"
#include "FontStyle.h"
#include "MessageBox.h"
#include "SearchTypes.h"

#include <QTextEdit>
#include <QUrl>
#include <functional>

class QIODevice;
class TRichEdit;

// Streaming a page body in or out failed.
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

using TNotifyEvent = std::function<void(QObject* Sender)>;

class TRichEditLines {
public:
    // Writes the whole content as an RTF document. A failed write raises
    // EOutOfResources "Failed to Save Stream".
    void SaveToStream(QIODevice& Stream) const;
    // Replaces the content with the bytes from the stream's position to its
    // end: RTF, or else plain text. Afterwards the selection is empty at 0. An
    // unreadable or oversized stream raises EOutOfResources "Failed to Load
    // Stream" and leaves the content as it was.
    void LoadFromStream(QIODevice& Stream);

private:
    friend class TRichEdit;
    explicit TRichEditLines(TRichEdit* Owner) : FOwner(Owner) {}
    TRichEdit* FOwner;
};

// The font of the selection. Name and Size are the first selected character's
// (or, with an empty selection, those that typing would use); Style holds a
// style when every selected character has it. Writing applies to the whole
// selection, or to what typing will insert when nothing is selected.
class TTextAttributes {
public:
    QString Name() const;
    void SetName(const QString& Name); // "" changes nothing
    int Size() const;                  // points
    void SetSize(int Points);          // below 1 changes nothing
    TFontStyles Style() const;
    void SetStyle(TFontStyles Style);
    // Adds and removes the given styles and leaves the others as each
    // character has them.
    void ChangeStyle(TFontStyles Add, TFontStyles Remove);

private:
    friend class TRichEdit;
    explicit TTextAttributes(TRichEdit* Owner) : FOwner(Owner) {}
    TRichEdit* FOwner;
};

class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* Owner = nullptr);

    TRichEditLines Lines{this};
    TTextAttributes SelAttributes{this};

    // The content as plain text; a paragraph break is one '\n', a line break
    // inside a paragraph one U+2028.
    QString Text() const;
    // "" empties the control; other text replaces the content unformatted.
    void SetText(const QString& Text);
    int TextLength() const;

    int SelStart() const;
    // Leaves an empty selection at Pos (clamped to the text).
    void SetSelStart(int Pos);
    int SelLength() const;
    // Selects Length characters from SelStart (clamped to the text).
    void SetSelLength(int Length);

    // The control's own default font.
    QFont Font() const { return font(); }

    // The position of the Index-th (from 0) mark of a kept group (a header,
    // footer, note or comment; see RtfNotes.h), or -1.
    int KeptMarkPosition(int Index) const;

    // Forward search in Text() among the characters StartPos .. StartPos +
    // Length; the position of the first match, or -1.
    int FindText(const QString& SearchStr, int StartPos, int Length, TSearchTypes Options) const;

    void SetFocus();
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool On) { setEnabled(On); }
    // With HideSelection the selection is not shown while the control has no
    // focus. On by default.
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool On);

    // Handlers may be replaced or emptied at any time, also from inside a
    // handler. OnChange follows every change of text or format, also a load
    // or clearing by the program; OnSelectionChange every move of the caret
    // or selection. What a handler raises during a change made through this
    // class reaches that change's caller; during the user's own typing, the
    // error box shows it.
    TNotifyEvent OnChange;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // Ctrl+click on a link hands its target to this, when it is an http,
    // https or mailto address; other targets are never opened. The desktop's
    // handler by default.
    std::function<void(const QUrl&)> OpenLink;

protected:
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    // The tooltip over a kept group's mark shows its words.
    bool viewportEvent(QEvent* Event) override;
    // Pictures pasted or dropped become picture objects that are saved with
    // the page. HTML keeps its lists, tables and links; its data: pictures
    // become picture objects and any other picture its alt text, and nothing
    // it names is loaded. Everything else is inserted as Qt does.
    bool canInsertFromMimeData(const QMimeData* Source) const override;
    void insertFromMimeData(const QMimeData* Source) override;

private:
    friend class TRichEditLines;
    friend class TTextAttributes;
    void Fire(const TNotifyEvent& Handler);
    void SetCursor(const QTextCursor& Cursor);
    void MergeFormat(const QTextCharFormat& Format);
    void ContentChanged();
    void SelectionMoved();
    void LoadBytes(QByteArrayView Data);

    bool FHideSelection = true;
    int FLoading = 0;
    int FLastAnchor = 0;
    int FLastPos = 0;
    TErrorRelay FRelay;
};
