#pragma once
// Fields in RTF: what a {\field{\*\fldinst ...}{\fldrslt ...}} group's
// instruction says. Only hyperlinks have a meaning here; every other field
// shows its result as text.

#include <QString>
#include <QStringView>

// A longer instruction is cut: no hyperlink needs more.
constexpr qsizetype kRtfMaxFieldInstruction = 4096;

// The target of a HYPERLINK instruction ("#name" for a \l bookmark), or ""
// when the instruction is another field's.
QString HyperlinkTarget(QStringView Instruction);

// The instruction that writes a link to Target back, as RTF text inside the
// instruction's group.
QByteArray HyperlinkInstruction(QStringView Target);
