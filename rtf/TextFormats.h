#pragma once
// Character properties of a page that Qt's formats have no field for.

#include <QTextFormat>

namespace TextFormats {

// Hidden text (\v): kept, found by search, shown with a dotted underline,
// and written back hidden. A bool.
constexpr int kHidden = QTextFormat::UserProperty + 16;
// A list's first number, on its QTextListFormat: an int. Qt 6.4 numbers every
// list from 1 on screen; the number is kept and written back all the same.
constexpr int kListStart = QTextFormat::UserProperty + 17;

} // namespace TextFormats
