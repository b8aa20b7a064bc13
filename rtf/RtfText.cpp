#include "RtfText.h"

#include "AnsiCodePage.h"

#include <algorithm>

void TRtfText::Grow(qsizetype N) {
    const qsizetype wanted = FSize + N + kSpare;
    FBuf.resize(std::max({wanted, FBuf.size() * 2, qsizetype(64)}));
    FData = reinterpret_cast<char16_t*>(FBuf.data());
}

void TRtfText::Append(QStringView S) {
    Reserve(S.size());
    std::copy_n(S.utf16(), S.size(), FData + FSize);
    FSize += S.size();
}

void TRtfText::AppendAnsi(std::string_view S) {
    Reserve(qsizetype(S.size()));
    SetEnd(WidenAnsi(S.data(), S.data() + S.size(), End()));
}

QString TRtfText::Take() {
    FBuf.resize(FSize);
    QString text = std::move(FBuf);
    FBuf = QString();
    FData = nullptr;
    FSize = 0;
    return text;
}
