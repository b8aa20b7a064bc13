#pragma once
// The rich-text editor's forward search over its plain text, where each
// paragraph break is one '\n'.

#include "SearchTypes.h"

#include <QString>

// The 0-based position of the first match of SearchStr that lies within the
// characters StartPos .. StartPos + Length of Text, or -1. A negative Length
// searches to the end. Without stMatchCase case is ignored; with stWholeWord a
// match must not touch a letter, digit or '_' on either side. A CR LF (or a
// lone CR or LF) in SearchStr matches one paragraph break.
int FindInText(QStringView Text, const QString& SearchStr, int StartPos, int Length,
               TSearchTypes Options);

// Exactly what QStringView::indexOf(Needle, From, Cs) gives, found faster
// when case is ignored and Needle is all ASCII, as search strings mostly are.
qsizetype IndexOfText(QStringView Haystack, QStringView Needle, qsizetype From,
                      Qt::CaseSensitivity Cs);
