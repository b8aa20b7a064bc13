#pragma once
// Headers, footers, footnotes, endnotes and comments in RTF. The editor does
// not lay them out, but they are the user's words: each group is kept whole,
// byte for byte, as an object that stands where the group stood and is
// written back unchanged. It is shown as a small mark (the note's number,
// a comment sign), and its words are its tooltip and are searched.

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QTextImageFormat>

class QTextDocument;

enum class TRtfNoteKind : int { Header = 1, Footer, Footnote, Endnote, Comment, Meta };

// In the text-only reader, the words of the page's kept groups follow its
// body, each group's after a line break and this mark, in the order the
// groups stand; a group without words has the mark alone.
constexpr char16_t kRtfNoteWordsMark = 0xFDD2;

// The object of a kept group: Group is the whole input from its first '{'
// to its last '}', Words the text the group holds, Number the note's number
// among notes of its kind. Its mark is added to Doc as a resource; nothing is
// added when Doc is null.
QTextImageFormat NoteFormat(TRtfNoteKind Kind, int Number, QByteArrayView Group,
                            const QString& Words, QTextDocument* Doc);

// The marks of Doc's kept groups, in order: the position of each, and its
// format.
struct TRtfNoteMark {
    int Position;
    QTextImageFormat Format;
};
QList<TRtfNoteMark> NoteMarks(const QTextDocument& Doc);

// The words of Doc's kept groups, as the text-only reader gives them after
// the body.
QString NoteWordsText(const QTextDocument& Doc);
