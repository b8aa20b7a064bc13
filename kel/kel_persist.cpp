#include "kel_persist.h"

#include "kel_resourcestrings.h"

#include <QtEndian>
#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {
QString NameOf(TClass Cl) {
    return Cl ? QString::fromLatin1(Cl->Name) : QString();
}

// The class registered under a name read from stored data. "" stands for no
// class, as written for an object without one.
TClass ClassFromName(const QString& Name) {
    if (Name.isEmpty())
        return nullptr;
    const TClass cl = GetClass(Name.toStdString());
    if (!cl)
        throw EClassNotFound(Name);
    return cl;
}

// An item being read, freed with what it read should the read fail.
struct TItemDeleter {
    void operator()(TKelObj* Item) const { FreeListItem(Item); }
};
using TOwnedItem = std::unique_ptr<TKelObj, TItemDeleter>;

// A new list item of class Cl: through its virtual Create, or in its zero
// state.
TKelObj* NewItem(TClass Cl, bool RunCreate) {
    if (!Cl || !Cl->InheritsFrom(TKelObj::StaticClass()))
        throw EConvertError(std::string("Cannot create items of class ") + (Cl ? Cl->Name : "nil"));
    return static_cast<TKelObj*>(RunCreate ? Cl->Create() : Cl->NewInstance());
}

// The memory that items without stored data took in the read in progress.
thread_local std::int64_t ItemMemoryTaken = 0;

// Counts the lists being read, or written, inside one another. Writers take
// the same depth as readers, so that nothing is written that could not be
// read back. The outermost read starts afresh.
class TNestingGuard {
public:
    enum TKind { Reading, Writing };
    explicit TNestingGuard(TKind Kind) : FDepth(Kind == Reading ? ReadDepth : WriteDepth) {
        if (FDepth >= MaxListNesting)
            throw EListError("Lists nested more than " + std::to_string(MaxListNesting) +
                             " levels deep");
        if (Kind == Reading && FDepth == 0)
            ItemMemoryTaken = 0;
        ++FDepth;
    }
    ~TNestingGuard() { --FDepth; }
    TNestingGuard(const TNestingGuard&) = delete;
    TNestingGuard& operator=(const TNestingGuard&) = delete;

private:
    static inline thread_local int ReadDepth = 0;
    static inline thread_local int WriteDepth = 0;
    int& FDepth;
};

std::int64_t ConfiguredItemMemoryLimit = 0;

[[noreturn]] void CountOutOfBounds(std::int64_t Count) {
    throw EListError("List count out of bounds (" + std::to_string(Count) + ")");
}

// Takes the memory of Count items without stored data, or refuses them.
void TakeItemMemory(std::int64_t Count, TClass Cl) {
    const std::int64_t need = Count * std::int64_t(Cl->InstanceSize + ItemOverhead);
    if (need > ItemMemoryLimit() - ItemMemoryTaken)
        CountOutOfBounds(Count);
    ItemMemoryTaken += need;
}

// Whether items of Cl store text of their own, judged by a new item's. A
// class whose writing fails is taken to store some.
bool StoresText(TClass Cl) {
    const TOwnedItem probe(NewItem(Cl, true));
    TTextFile f;
    try {
        probe->SaveToF(f);
    } catch (const Exception&) {
        return true;
    }
    return !f.Data().isEmpty();
}

// The same for streams, judged by an item in its zero state as the list
// object's reader makes them.
bool StoresStreamData(TClass Cl) {
    const TOwnedItem probe(NewItem(Cl, false));
    TMemoryStream s;
    try {
        probe->SaveToStream(s);
    } catch (const Exception&) {
        return true;
    }
    return s.Size() > 0;
}

template <class T> void WriteLE(TStream& Stream, T Value) {
    unsigned char bytes[sizeof(T)];
    qToLittleEndian(Value, bytes);
    Stream.WriteBuffer(bytes, sizeof bytes);
}

template <class T> T ReadLE(TStream& Stream) {
    unsigned char bytes[sizeof(T)];
    Stream.ReadBuffer(bytes, sizeof bytes);
    return qFromLittleEndian<T>(bytes);
}

// After a failed read the stream still ends up behind the record; a failure
// of that seek must not hide the error that caused it.
void SeekQuietly(TStream& Stream, std::int64_t Pos) {
    try {
        Stream.SetPosition(Pos);
    } catch (const Exception&) {
    }
}

QString ClassElement(const char* ClassName, const QString& Content) {
    const QString name = QString::fromLatin1(ClassName);
    return QLatin1Char('<') + name + QStringLiteral(">\r\n") + Content + QStringLiteral("</") +
           name + QStringLiteral(">\r\n");
}

// The entries the writers store. A null entry has no class and nothing to
// write, so it is left out and the count written is that of the rest.
std::vector<TObject*> StoredItems(const TList& List) {
    std::vector<TObject*> items;
    for (int i = 0; i < List.Count(); ++i)
        if (TObject* item = List.GetItems(i))
            items.push_back(item);
    return items;
}

// A list item written as an object: its class element around its GenXMLData.
QString ItemXML(const TObject* Item) {
    if (IsA(Item, TKelObj::StaticClass()))
        return static_cast<const TKelObj*>(Item)->XMLData();
    if (IsA(Item, TKelList::StaticClass()))
        return static_cast<const TKelList*>(Item)->XMLData();
    return ClassElement(Item->ClassName(), QString());
}

// The element a TKelListObj's inner list is read from: the list's own element,
// which the writer nests after "cl". XML with "listitems" directly under the
// object's element is read from that element.
const TXMLNode* InnerListNode(const TXMLNode* Node) {
    if (Node->ChildNamed(u"listitems"))
        return Node;
    for (const TXMLNode* child = Node->FirstChild(); child; child = child->NextSibling())
        if (child->NodeName() != u"cl")
            return child;
    return nullptr;
}
} // namespace

std::int64_t ItemMemoryLimit() {
    if (ConfiguredItemMemoryLimit > 0)
        return ConfiguredItemMemoryLimit;
    static const std::int64_t half = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        return pages > 0 && pageSize > 0 ? std::int64_t(pages) * pageSize / 2
                                         : std::int64_t(1) << 30;
    }();
    return half;
}

void SetItemMemoryLimit(std::int64_t Bytes) {
    ConfiguredItemMemoryLimit = std::max<std::int64_t>(Bytes, 0);
}

EClassNotFound::EClassNotFound(const QString& Name)
    : Exception(QStringLiteral("Class %1 not found").arg(ElidedForMessage(Name)).toStdString()) {}

void WriteStreamString(TStream& Stream, const QString& s) {
    if (s.size() > INT_MAX)
        throw EWriteError();
    WriteLE<std::int32_t>(Stream, std::int32_t(s.size()));
    QByteArray bytes(s.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        qToLittleEndian<quint16>(s[i].unicode(), bytes.data() + 2 * i);
    Stream.WriteBuffer(bytes.constData(), bytes.size());
}

QString ReadStreamString(TStream& Stream) {
    const std::int32_t n = ReadLE<std::int32_t>(Stream);
    if (n <= 0)
        return QString();
    const std::int64_t size = std::int64_t(n) * 2;
    if (size > Stream.Size() - Stream.Position())
        throw EReadError();
    QByteArray bytes(size, Qt::Uninitialized);
    Stream.ReadBuffer(bytes.data(), size);
    QString s(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        s[i] = QChar(qFromLittleEndian<quint16>(bytes.constData() + 2 * i));
    return s;
}

TKelObj* CreateItemFromNode(const TXMLNode* Node) {
    if (!Node)
        return nullptr;
    QString name = Node->Attribute(u"class");
    if (name.isEmpty())
        name = Node->NodeName();
    const TClass cl = GetClass(name.toStdString());
    if (!cl)
        throw EClassNotFound(name);
    TOwnedItem obj(NewItem(cl, true));
    obj->ProcessXMLData(Node);
    return obj.release();
}

// ---- TKelObj

QString TKelObj::XMLData() const {
    return ClassElement(ClassName(), GenXMLData());
}

void TKelObj::SetXMLData(const QString& Value) {
    const std::unique_ptr<TXMLNode> document = ParseXML(Value);
    ProcessXMLData(document.get());
}

QString TKelObj::GenXMLData() const {
    return QString();
}

void TKelObj::ProcessXMLData(const TXMLNode*) {}

void TKelObj::SaveToStream(TStream&) const {
    throw ENotImplemented(LoadResString(SSaveToStreamNotImplemented).toStdString());
}

void TKelObj::LoadFromStream(TStream&) {
    throw ENotImplemented(LoadResString(SLoadFromStreamNotImplemented).toStdString());
}

bool TKelObj::LoadFromF(TTextFile&) {
    return true;
}

bool TKelObj::SaveToF(TTextFile&) const {
    return true;
}

bool TKelObj::LoadFromFile(const QString& FileName) {
    TTextFile f = TTextFile::Open(FileName);
    return LoadFromF(f);
}

// The text is made first and stored in one step, so that a failing SaveToF
// leaves the file as it was.
bool TKelObj::SaveToFile(const QString& FileName) const {
    TTextFile f;
    const bool result = SaveToF(f);
    f.SaveAs(FileName);
    return result;
}

// ---- TKelList

QString TKelList::XMLData() const {
    return ClassElement(ClassName(), GenXMLData());
}

void TKelList::SetXMLData(const QString& Value) {
    const std::unique_ptr<TXMLNode> document = ParseXML(Value);
    ProcessXMLData(document.get());
}

QString TKelList::GenXMLData() const {
    TNestingGuard nesting(TNestingGuard::Writing);
    const std::vector<TObject*> items = StoredItems(*this);
    QString xml = QStringLiteral("<listitems count=\"%1\">\r\n").arg(items.size());
    for (const TObject* item : items)
        xml += ItemXML(item);
    return xml + QStringLiteral("</listitems>\r\n");
}

void TKelList::ProcessXMLData(const TXMLNode* Node) {
    if (!Node || !Node->HasChildNodes())
        return;
    TNestingGuard nesting(TNestingGuard::Reading);
    ClearAll();
    const TXMLNode* listItems = Node->ChildNamed(u"listitems");
    if (!listItems)
        throw EXMLError(QStringLiteral("Element \"%1\" holds no \"listitems\"")
                            .arg(ElidedForMessage(Node->NodeName()))
                            .toStdString());
    // The count only reserves room, and never more than the elements present.
    const int count = StrToInt(listItems->Attribute(u"count"));
    SetCapacity(std::clamp(count, 0, listItems->ChildCount()));
    for (const TXMLNode* child = listItems->FirstChild(); child; child = child->NextSibling()) {
        TOwnedItem obj(CreateItemFromNode(child));
        if (obj) {
            Add(obj.get());
            obj.release();
        }
    }
}

bool TKelList::SaveBodyToF(TTextFile&) const {
    return true;
}

bool TKelList::LoadBodyFromF(TTextFile&) {
    return true;
}

void TKelList::SaveBodyToStream(TStream&) const {}

void TKelList::LoadBodyFromStream(TStream&) {}

bool TKelList::SaveToF(TTextFile& F) const {
    TNestingGuard nesting(TNestingGuard::Writing);
    SaveBodyToF(F);
    const std::vector<TObject*> items = StoredItems(*this);
    F.WriteLn(QString::number(items.size()));
    for (const TObject* item : items) {
        if (IsA(item, TKelObj::StaticClass()))
            static_cast<const TKelObj*>(item)->SaveToF(F);
        else if (IsA(item, TKelList::StaticClass()))
            static_cast<const TKelList*>(item)->SaveToF(F);
    }
    return true;
}

bool TKelList::LoadFromF(TTextFile& F, TClass Cl) {
    TNestingGuard nesting(TNestingGuard::Reading);
    ClearAll();
    LoadBodyFromF(F);
    const int n = F.ReadInteger();
    F.ReadLn();
    // Each item that stores text takes a byte at least, but the last may lack
    // its line end.
    if (n > 0 && !StoresText(Cl))
        TakeItemMemory(n, Cl);
    else if (n > F.BytesLeft() + 1)
        CountOutOfBounds(n);
    for (int i = 0; i < n; ++i) {
        TOwnedItem item(NewItem(Cl, true));
        item->LoadFromF(F);
        Add(item.get());
        item.release();
    }
    return true;
}

bool TKelList::SaveToFile(const QString& FileName) const {
    TTextFile f;
    const bool result = SaveToF(f);
    f.SaveAs(FileName);
    return result;
}

bool TKelList::LoadFromFile(const QString& FileName, TClass Cl) {
    TTextFile f = TTextFile::Open(FileName);
    return LoadFromF(f, Cl);
}

void TKelList::SaveToStream(TStream& Stream) const {
    TNestingGuard nesting(TNestingGuard::Writing);
    SaveBodyToStream(Stream);
    const std::vector<TObject*> items = StoredItems(*this);
    WriteLE<std::int32_t>(Stream, std::int32_t(items.size()));
    for (const TObject* item : items) {
        WriteStreamString(Stream, QString::fromLatin1(item->ClassName()));
        if (IsA(item, TKelObj::StaticClass()))
            static_cast<const TKelObj*>(item)->SaveToStream(Stream);
        else if (IsA(item, TKelList::StaticClass()))
            static_cast<const TKelList*>(item)->SaveToStream(Stream);
    }
}

// Every item takes at least the four bytes of its stored class name, so a
// count larger than a quarter of the rest of the stream is refused at once.
void TKelList::LoadFromStream(TStream& Stream, TClass Cl) {
    TNestingGuard nesting(TNestingGuard::Reading);
    ClearAll();
    LoadBodyFromStream(Stream);
    const std::int32_t n = ReadLE<std::int32_t>(Stream);
    if (n > (Stream.Size() - Stream.Position()) / 4)
        throw EReadError();
    for (std::int32_t i = 0; i < n; ++i) {
        ReadStreamString(Stream); // the stored class name; items are made of Cl
        TOwnedItem item(NewItem(Cl, true));
        item->LoadFromStream(Stream);
        Add(item.get());
        item.release();
    }
}

// ---- TKelListObj

QString TKelListObj::GenXMLData() const {
    return QStringLiteral("<cl>") + NameOf(FElmClass) + QStringLiteral("</cl>") +
           (FList ? FList->XMLData() : QString());
}

void TKelListObj::ProcessXMLData(const TXMLNode* Node) {
    if (!Node)
        return;
    if (const TXMLNode* cl = Node->ChildNamed(u"cl"))
        FElmClass = ClassFromName(cl->Text());
    if (FList)
        FList->ProcessXMLData(InnerListNode(Node));
}

bool TKelListObj::SaveToF(TTextFile& F) const {
    F.WriteLn(NameOf(FElmClass));
    return FList ? FList->SaveToF(F) : false;
}

bool TKelListObj::LoadFromF(TTextFile& F) {
    FElmClass = ClassFromName(F.ReadLine());
    return FList ? FList->LoadFromF(F, FElmClass) : false;
}

void TKelListObj::SaveBodyToStream(TStream& Stream) const {
    WriteStreamString(Stream, NameOf(FElmClass));
}

void TKelListObj::LoadBodyFromStream(TStream& Stream) {
    FElmClass = ClassFromName(ReadStreamString(Stream));
}

void TKelListObj::SaveToStream(TStream& Stream) const {
    TNestingGuard nesting(TNestingGuard::Writing);
    const std::int64_t start = Stream.Position();
    WriteLE<std::int64_t>(Stream, 0); // room for the size
    SaveBodyToStream(Stream);
    std::vector<const TKelObj*> items;
    for (int i = 0; i < Count(); ++i)
        if (const TKelObj* item = GetItems(i))
            items.push_back(item);
    WriteLE<std::int32_t>(Stream, std::int32_t(items.size()));
    for (const TKelObj* item : items)
        item->SaveToStream(Stream);
    const std::int64_t end = Stream.Position();
    Stream.SetPosition(start);
    WriteLE<std::int64_t>(Stream, end - start);
    // Behind the record rather than at the stream's end: the same when
    // appending, and it keeps nested records together when a record is
    // written over older data.
    Stream.SetPosition(end);
}

// The stored size is checked first: a record must hold at least its size
// field and end inside the stream. Every record thus moves the stream
// forward, and a damaged one raises EReadError with the object unchanged and
// the stream at its end.
void TKelListObj::LoadFromStream(TStream& Stream) {
    TNestingGuard nesting(TNestingGuard::Reading);
    const std::int64_t start = Stream.Position();
    const std::int64_t size = ReadLE<std::int64_t>(Stream);
    if (size < std::int64_t(sizeof size) || size > Stream.Size() - start) {
        Stream.Seek(0, TSeekOrigin::End);
        throw EReadError();
    }
    const std::int64_t end = start + size;
    try {
        LoadBodyFromStream(Stream);
        if (FList)
            FList->ClearAll();
        else
            FList = KelNewCreated<TKelList>();
        const std::int32_t n = ReadLE<std::int32_t>(Stream);
        if (n > 0 && !StoresStreamData(FElmClass))
            TakeItemMemory(n, FElmClass);
        else if (n > end - Stream.Position())
            throw EReadError();
        for (std::int32_t i = 0; i < n; ++i) {
            TOwnedItem item(NewItem(FElmClass, false));
            item->LoadFromStream(Stream);
            FList->Add(item.get());
            item.release();
        }
    } catch (...) {
        SeekQuietly(Stream, end);
        throw;
    }
    Stream.SetPosition(end);
}
