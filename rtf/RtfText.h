#pragma once
// The text that the RTF reader collects: a buffer written through a pointer,
// with spare room past its end so that text can be stored sixteen units at a
// time, and grown by doubling.

#include <QString>
#include <QStringView>

#include <string_view>

class TRtfText {
public:
    // Units that may be written past Size() + the room asked for.
    static constexpr qsizetype kSpare = 16;

    bool IsEmpty() const { return FSize == 0; }
    qsizetype Size() const { return FSize; }
    QStringView View() const { return QStringView(FData, FSize); }
    char16_t* Begin() { return FData; }
    char16_t* End() { return FData + FSize; }
    void Clear() { FSize = 0; }

    // Room for N more units, and the spare beyond them.
    void Reserve(qsizetype N) {
        if (FBuf.size() - FSize - kSpare < N)
            Grow(N);
    }
    // Takes what was written up to E, a pointer into the reserved room.
    void SetEnd(char16_t* E) { FSize = E - FData; }

    void Append(char16_t C) {
        Reserve(1);
        FData[FSize++] = C;
    }
    void Append(QStringView S);
    // Text bytes in Windows-1252.
    void AppendAnsi(std::string_view S);

    // The text, as a string; this buffer is left empty.
    QString Take();

private:
    void Grow(qsizetype N);

    QString FBuf; // its size is the capacity
    char16_t* FData = nullptr;
    qsizetype FSize = 0;
};
