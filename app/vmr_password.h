#pragma once
// The rule a new password must meet.

#include <QString>

// The message that refuses a weak password.
QString WeakPasswordMessage();

// "" when NewPw is strong enough: at least 6 UTF-16 code units with an ASCII
// lower-case letter, an ASCII upper-case letter, a digit and a punctuation
// mark other than '&' and '-'. Otherwise the refusal message.
QString PasswordStrengthError(const QString& NewPw);
