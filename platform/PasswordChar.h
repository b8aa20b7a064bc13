#pragma once
// Shows every character of a line edit as one chosen character.

#include <QChar>

class QLineEdit;

void SetPasswordChar(QLineEdit* Edit, QChar Char);
