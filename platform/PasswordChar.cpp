#include "PasswordChar.h"

#include <QLineEdit>
#include <QProxyStyle>

namespace {
class TPasswordCharStyle : public QProxyStyle {
public:
    explicit TPasswordCharStyle(QChar c) : FChar(c) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return FChar.unicode();
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }

private:
    QChar FChar;
};
} // namespace

void SetPasswordChar(QLineEdit* Edit, QChar Char) {
    auto* style = new TPasswordCharStyle(Char);
    style->setParent(Edit);
    Edit->setStyle(style);
    Edit->setEchoMode(QLineEdit::Password);
}
