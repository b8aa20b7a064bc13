#pragma once
// Search options shared by the find dialog and the rich-text editor.

#include <QFlags>

enum TSearchType {
    stWholeWord = 1,
    stMatchCase = 2,
};
Q_DECLARE_FLAGS(TSearchTypes, TSearchType)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSearchTypes)
