#pragma once
// Base classes of the component library: class references and the class
// registry, the roots TPersistent and TList, and TKelObj, TKelList and
// TKelListObj. Lists hold plain references: nothing frees an item unless
// FreeItem, ClearAll or FreeAll is called.

#include "Exception.h"

#include <QString>
#include <QStringView>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

class TObject;
struct TClassInfo;
class TStream;
class TTextFile;
class TXMLNode;

// A class reference. Class names are stored data: each is exactly the type's
// name.
using TClass = const TClassInfo*;

struct TClassInfo {
    const char* Name;
    TClass Parent;
    // An instance in its zero state: the class's own Create has not run.
    TObject* (*NewInstance)();
    // An instance as the readers make it: zero state, then the virtual Create.
    TObject* (*Create)();
    // The size of an instance in bytes, what it allocates itself not counted.
    std::size_t InstanceSize;

    // True for the class itself and for every descendant of Ancestor.
    bool InheritsFrom(TClass Ancestor) const;
};

// The is-a test: false for a null object.
bool IsA(const TObject* Obj, TClass Cls);

class EListError : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A decimal integer with an optional sign, in the 32-bit range; anything else
// raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(QStringView Text);

// Text quoted in a message, cut short after 64 characters: stored data may
// hold megabytes where a name or a number belongs.
QString ElidedForMessage(QStringView Text);

// Declares a class's descriptor; place it in the public section of every class
// derived from TObject, and KEL_DEFINE_CLASS in its source file.
#define KEL_DECLARE_CLASS(T)                                                                       \
    static TClass StaticClass();                                                                   \
    TClass ClassType() const override {                                                            \
        return T::StaticClass();                                                                   \
    }

#define KEL_DEFINE_CLASS(T, ParentT)                                                               \
    TClass T::StaticClass() {                                                                      \
        static_assert(std::is_base_of_v<ParentT, T>);                                              \
        static const TClassInfo info{#T, ParentT::StaticClass(), &KelNewInstance<T>,               \
                                     &KelCreateInstance<T>, sizeof(T)};                            \
        return &info;                                                                              \
    }

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    static TClass StaticClass();
    virtual TClass ClassType() const { return StaticClass(); }
    const char* ClassName() const { return ClassType()->Name; }
};

// A new object of class T after its virtual Create, where T has one.
template <class T> T* KelNewCreated() {
    std::unique_ptr<T> obj(new T());
    if constexpr (requires(T & t) { t.Create(); })
        obj->Create();
    return obj.release();
}

template <class T> TObject* KelNewInstance() {
    return new T();
}

template <class T> TObject* KelCreateInstance() {
    return KelNewCreated<T>();
}

class TPersistent : public TObject {
public:
    KEL_DECLARE_CLASS(TPersistent)
    // Copies this object into Dest; here it fails with EConvertError.
    virtual void AssignTo(TPersistent* Dest) const;
    // Takes over Source through Source->AssignTo(this); a null Source fails.
    virtual void Assign(const TPersistent* Source);
};

using TListSortCompare = int (*)(TObject* Item1, TObject* Item2);

// An ordered array of object references. It never destroys the objects.
class TList : public TObject {
public:
    KEL_DECLARE_CLASS(TList)

    int Add(TObject* Item);
    void Insert(int Index, TObject* Item);
    void Delete(int Index);
    void Exchange(int Index1, int Index2);
    int IndexOf(const TObject* Item) const;
    int Remove(TObject* Item);
    TObject* Extract(TObject* Item);
    // Count and Capacity to 0; no item is destroyed.
    virtual void Clear();
    // Quicksort around the middle entry; equal entries end in no defined order.
    void Sort(TListSortCompare Compare);

    TObject* GetItems(int Index) const;
    void SetItems(int Index, TObject* Item);
    int Count() const { return FCount; }
    void SetCount(int NewCount);
    int Capacity() const { return static_cast<int>(FItems.size()); }
    void SetCapacity(int NewCapacity);

    // Advances with every operation that may leave entries out of their
    // previous relative order (adding, replacing, swapping, sorting); removals
    // keep it. Lists kept in order use it to know that they still are.
    std::uint64_t OrderChanges() const { return FOrderChanges; }

protected:
    virtual void Grow();

private:
    [[noreturn]] static void Error(const char* Text, int Data);
    void CheckIndex(int Index) const;
    void QuickSort(int L, int R, TListSortCompare Compare);

    std::vector<TObject*> FItems; // its size is the capacity
    int FCount = 0;
    std::uint64_t FOrderChanges = 0;
};

class TKelObj : public TPersistent {
public:
    KEL_DECLARE_CLASS(TKelObj)
    // Copies nothing: a class that does not override it duplicates to a fresh
    // instance.
    void AssignTo(TPersistent* Dest) const override;
    // The virtual constructor: runs once, right after the instance is made,
    // when it is created through its class (KelNewCreated, TClassInfo::Create).
    virtual void Create() {}
    // A new instance of this object's class with this object assigned to it.
    virtual TKelObj* duplicate() const;
    // The same; null for a null object.
    static TKelObj* duplicate(const TKelObj* Obj);

    // Persistence (kel_persist.cpp). The XML text: the class element around
    // GenXMLData; writing it parses the text and hands the document element
    // to ProcessXMLData.
    QString XMLData() const;
    void SetXMLData(const QString& Value);
    virtual QString GenXMLData() const;
    virtual void ProcessXMLData(const TXMLNode* Node);
    // Both raise "Not implemented": a class stored in streams overrides them.
    virtual void SaveToStream(TStream& Stream) const;
    virtual void LoadFromStream(TStream& Stream);
    virtual bool LoadFromF(TTextFile& F);
    virtual bool LoadFromFile(const QString& FileName);
    virtual bool SaveToF(TTextFile& F) const;
    virtual bool SaveToFile(const QString& FileName) const;
};

class TKelList : public TList {
public:
    KEL_DECLARE_CLASS(TKelList)
    // Copies the list's own properties (not its items); none here.
    virtual void CopyBodyTo(TKelList* Dest) const;
    // Appends a duplicate of every TKelObj and TKelList item to Dest.
    virtual void CopyItemsTo(TList* Dest) const;
    virtual void Create() {}
    // A new list of this list's class holding copies of the items.
    virtual TKelList* duplicate() const;

    // Frees item ix and deletes its entry; an index out of range does nothing.
    void FreeItem(int ix);
    // Frees every item; the list stays, empty.
    void ClearAll();
    // Both accept a null list and then do nothing.
    static void ClearAll(TKelList* List);
    // Frees every item, then the list itself.
    static void FreeAll(TKelList* List);

    // Persistence (kel_persist.cpp). Readers empty the list first; a failed
    // read keeps the items read before the failure. Cl is the class of the
    // items to create.
    virtual QString XMLData() const;
    virtual void SetXMLData(const QString& Value);
    virtual bool LoadBodyFromF(TTextFile& F);
    virtual void LoadBodyFromStream(TStream& Stream);
    virtual bool LoadFromF(TTextFile& F, TClass Cl);
    virtual bool LoadFromFile(const QString& FileName, TClass Cl);
    virtual void LoadFromStream(TStream& Stream, TClass Cl);
    virtual bool SaveBodyToF(TTextFile& F) const;
    virtual void SaveBodyToStream(TStream& Stream) const;
    virtual bool SaveToF(TTextFile& F) const;
    virtual bool SaveToFile(const QString& FileName) const;
    virtual void SaveToStream(TStream& Stream) const;
    virtual QString GenXMLData() const;
    virtual void ProcessXMLData(const TXMLNode* Node);
};

// An object carrying a list and the class of its elements. It owns the list
// object but not the items in it.
class TKelListObj : public TKelObj {
public:
    KEL_DECLARE_CLASS(TKelListObj)
    ~TKelListObj() override;
    // Copies the element class and the elements into another TKelListObj.
    void AssignTo(TPersistent* Dest) const override;
    void Create() override;
    virtual void CopyElmClassTo(TKelListObj* Dest) const;
    // Replaces Dest's elements with new instances of ElmClass, each assigned
    // from one of this object's elements.
    virtual void CopyItemsTo(TKelListObj* Dest) const;
    virtual void Clear();

    TKelList* List() const { return FList; }
    // Replaces the reference only: the old list is neither freed nor copied.
    void SetList(TKelList* Value) { FList = Value; }
    TClass ElmClass() const { return FElmClass; }
    void SetElmClass(TClass Value) { FElmClass = Value; }

    // Without a list: reads give 0, -1 or null, and writes do nothing.
    int Count() const;
    void SetCount(int Value);
    int Capacity() const;
    void SetCapacity(int Value);
    // Null for an entry that is not a TKelObj.
    TKelObj* GetItems(int Index) const;
    void SetItems(int Index, TKelObj* Value);

    int Add(TKelObj* Item);
    void Insert(int Index, TKelObj* Item);
    void Delete(int Index);
    void Exchange(int Index1, int Index2);
    TKelObj* Extract(TKelObj* Item);
    int IndexOf(const TKelObj* Item) const;
    int Remove(TKelObj* Item);
    void Sort(TListSortCompare Compare);
    void ClearAll();
    void FreeItem(int ix);
    // Accepts a null object; frees the elements, then the object.
    static void FreeAll(TKelListObj* Obj);

    // Persistence (kel_persist.cpp): the element class, then the inner list.
    QString GenXMLData() const override;
    void ProcessXMLData(const TXMLNode* Node) override;
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream) override;
    bool LoadFromF(TTextFile& F) override;
    bool SaveToF(TTextFile& F) const override;
    virtual void SaveBodyToStream(TStream& Stream) const;
    virtual void LoadBodyFromStream(TStream& Stream);

private:
    TKelList* FList = nullptr;
    TClass FElmClass = nullptr;
};

// Frees a list's item by its class: lists and list objects free their own
// items first. Accepts null.
void FreeListItem(TObject* Item);

// The class registry: filled with TKelObj and TKelListObj at start-up.
// Registering a name twice keeps the first class.
void RegisterClass(TClass Cls);
// Null when the name is not registered.
TClass GetClass(const std::string& Name);
