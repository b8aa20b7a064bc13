#pragma once
// Shared by the persistence tests: a registered element class that stores a
// title in all three forms, owners that free what they hold, and a structural
// description of object trees for comparing round trips.

#include "kel_persist.h"

#include <QtEndian>
#include <QtTest>
#include <functional>
#include <memory>

// An element with data of its own in every form. Counts its live instances,
// so that tests see elements lost by a failed read.
class TNote : public TKelObj {
public:
    KEL_DECLARE_CLASS(TNote)
    TNote() { ++Live; }
    ~TNote() override { --Live; }
    static inline int Live = 0;
    QString Title;

    QString GenXMLData() const override { return "<title>" + Title + "</title>\r\n"; }
    void ProcessXMLData(const TXMLNode* Node) override {
        if (const TXMLNode* title = Node ? Node->ChildNamed(u"title") : nullptr)
            Title = title->Text();
    }
    bool SaveToF(TTextFile& F) const override {
        F.WriteLn(Title);
        return true;
    }
    bool LoadFromF(TTextFile& F) override {
        Title = F.ReadLine();
        return true;
    }
    void SaveToStream(TStream& Stream) const override { WriteStreamString(Stream, Title); }
    void LoadFromStream(TStream& Stream) override { Title = ReadStreamString(Stream); }
};
KEL_DEFINE_CLASS(TNote, TKelObj)

inline void RegisterTestClasses() {
    RegisterClass(TNote::StaticClass());
}

struct TListObjDeleter {
    void operator()(TKelListObj* Obj) const { TKelListObj::FreeAll(Obj); }
};
struct TListDeleter {
    void operator()(TKelList* List) const { TKelList::FreeAll(List); }
};
using TOwnedListObj = std::unique_ptr<TKelListObj, TListObjDeleter>;
using TOwnedList = std::unique_ptr<TKelList, TListDeleter>;

inline TOwnedListObj NewListObj(TClass ElmClass = TKelObj::StaticClass()) {
    TOwnedListObj obj(KelNewCreated<TKelListObj>());
    obj->SetElmClass(ElmClass);
    return obj;
}

inline TNote* NewNote(const QString& Title) {
    TNote* note = KelNewCreated<TNote>();
    note->Title = Title;
    return note;
}

// A list object of notes.
inline TKelListObj* NewNotes(const QStringList& Titles) {
    TKelListObj* obj = KelNewCreated<TKelListObj>();
    obj->SetElmClass(TNote::StaticClass());
    for (const QString& t : Titles)
        obj->Add(NewNote(t));
    return obj;
}

// Two levels: a list object of list objects of notes, one of them empty.
inline TOwnedListObj NewNestedNotes() {
    TOwnedListObj outer = NewListObj(TKelListObj::StaticClass());
    outer->Add(NewNotes({QStringLiteral("Café €"), QStringLiteral("b")}));
    outer->Add(NewNotes({}));
    outer->Add(NewNotes({QStringLiteral("c")}));
    return outer;
}

// Class names, element classes and titles of a tree of objects, e.g.
// "TKelListObj<TNote>[TNote(a),TNote(b)]".
inline QString Describe(const TObject* Obj) {
    if (!Obj)
        return QStringLiteral("null");
    QString s = QString::fromLatin1(Obj->ClassName());
    const TList* list = nullptr;
    if (IsA(Obj, TNote::StaticClass()))
        s += "(" + static_cast<const TNote*>(Obj)->Title + ")";
    if (IsA(Obj, TKelListObj::StaticClass())) {
        const auto* lo = static_cast<const TKelListObj*>(Obj);
        s += "<" + QString::fromLatin1(lo->ElmClass() ? lo->ElmClass()->Name : "nil") + ">";
        list = lo->List();
    } else if (IsA(Obj, TList::StaticClass())) {
        list = static_cast<const TList*>(Obj);
    }
    if (list) {
        QStringList items;
        for (int i = 0; i < list->Count(); ++i)
            items << Describe(list->GetItems(i));
        s += "[" + items.join(',') + "]";
    }
    return s;
}

inline QByteArray Int32LE(qint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
inline QByteArray Int64LE(qint64 v) {
    QByteArray b(8, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
// A stream string, spelled out independently of WriteStreamString.
inline QByteArray Utf16String(const QString& s) {
    QByteArray b = Int32LE(qint32(s.size()));
    for (QChar c : s) {
        b += char(c.unicode() & 0xFF);
        b += char(c.unicode() >> 8);
    }
    return b;
}

inline QByteArray ReadFixture(const char* Name) {
    QFile f(QStringLiteral(VMR_TEST_DATA "/") + QLatin1String(Name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", Name);
    return f.readAll();
}

// The message of the Exception that F raises; "" when it raises none.
inline QString MessageOf(const std::function<void()>& F) {
    try {
        F();
    } catch (const Exception& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}
