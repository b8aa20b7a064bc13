#pragma once
// Answers every message box with a fixed answer and records what it was shown.

#include "MessageBox.h"

#include <QList>

class TMessageBoxRecorder {
public:
    explicit TMessageBoxRecorder(int Answer = IDOK) {
        SetMessageBoxHook([this, Answer](const TMessageBoxCall& call) {
            Calls.append(call);
            return Answer;
        });
    }
    ~TMessageBoxRecorder() { SetMessageBoxHook({}); }
    QList<TMessageBoxCall> Calls;
};
