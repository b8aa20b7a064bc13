#include "kel_utils.h"

#include <QtTest>
#include <algorithm>
#include <functional>
#include <random>

namespace {
// Counts its live instances, records whether its Create ran, and copies its
// Value through AssignTo.
class TTracked : public TKelObj {
public:
    KEL_DECLARE_CLASS(TTracked)
    TTracked() { ++Live; }
    ~TTracked() override { --Live; }
    void Create() override { Created = true; }
    void AssignTo(TPersistent* Dest) const override {
        if (IsA(Dest, StaticClass()))
            static_cast<TTracked*>(Dest)->Value = Value;
    }
    static inline int Live = 0;
    int Value = 0;
    bool Created = false;
};
KEL_DEFINE_CLASS(TTracked, TKelObj)

// A descendant that keeps the inherited AssignTo.
class TBare : public TKelObj {
public:
    KEL_DECLARE_CLASS(TBare)
    void Create() override { Marker = 1; }
    int Marker = 0;
};
KEL_DEFINE_CLASS(TBare, TKelObj)

class TTrackedList : public TKelList {
public:
    KEL_DECLARE_CLASS(TTrackedList)
    TTrackedList() { ++Live; }
    ~TTrackedList() override { --Live; }
    static inline int Live = 0;
};
KEL_DEFINE_CLASS(TTrackedList, TKelList)

// A persistent class outside the library's own.
class TPlain : public TPersistent {
public:
    KEL_DECLARE_CLASS(TPlain)
};
KEL_DEFINE_CLASS(TPlain, TPersistent)

TTracked* Tracked(int value) {
    TTracked* t = KelNewCreated<TTracked>();
    t->Value = value;
    return t;
}

// The message of the EListError or EConvertError that f raises, or "".
template <class E> QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}

int CompareValues(TObject* a, TObject* b) {
    const int x = static_cast<TTracked*>(a)->Value, y = static_cast<TTracked*>(b)->Value;
    return x < y ? -1 : x > y ? 1 : 0;
}

std::mt19937 Rng(5);
int CompareAtRandom(TObject*, TObject*) {
    return int(Rng() % 3) - 1;
}
int CompareAlwaysLess(TObject*, TObject*) {
    return -1;
}
int CompareAlwaysGreater(TObject*, TObject*) {
    return 1;
}
} // namespace

Q_DECLARE_METATYPE(TClass)

class TestKelUtils : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TTracked::Live = 0;
        TTrackedList::Live = 0;
    }
    void cleanup() {
        // Every test frees what it made: the lists never do on their own.
        QCOMPARE(TTracked::Live, 0);
        QCOMPARE(TTrackedList::Live, 0);
    }

    void classNamesAndParents_data() {
        QTest::addColumn<TClass>("cls");
        QTest::addColumn<QString>("name");
        QTest::addColumn<TClass>("parent");
        QTest::newRow("TObject") << TObject::StaticClass() << "TObject" << TClass(nullptr);
        QTest::newRow("TPersistent")
            << TPersistent::StaticClass() << "TPersistent" << TObject::StaticClass();
        QTest::newRow("TList") << TList::StaticClass() << "TList" << TObject::StaticClass();
        QTest::newRow("TKelObj") << TKelObj::StaticClass() << "TKelObj"
                                 << TPersistent::StaticClass();
        QTest::newRow("TKelList") << TKelList::StaticClass() << "TKelList" << TList::StaticClass();
        QTest::newRow("TKelListObj")
            << TKelListObj::StaticClass() << "TKelListObj" << TKelObj::StaticClass();
        QTest::newRow("descendant")
            << TTracked::StaticClass() << "TTracked" << TKelObj::StaticClass();
    }
    void classNamesAndParents() {
        QFETCH(TClass, cls);
        QFETCH(QString, name);
        QFETCH(TClass, parent);
        QCOMPARE(QString::fromLatin1(cls->Name), name);
        QCOMPARE(cls->Parent, parent);
        // Both ways of making an instance give one of exactly this class.
        for (auto make : {cls->NewInstance, cls->Create}) {
            std::unique_ptr<TObject> obj(make());
            QCOMPARE(obj->ClassType(), cls);
            QCOMPARE(QString::fromLatin1(obj->ClassName()), name);
        }
    }

    void isA() {
        TKelListObj obj;
        TKelList list;
        QVERIFY(IsA(&obj, TKelListObj::StaticClass()));
        QVERIFY(IsA(&obj, TKelObj::StaticClass()));
        QVERIFY(IsA(&obj, TPersistent::StaticClass()));
        QVERIFY(IsA(&obj, TObject::StaticClass()));
        QVERIFY(!IsA(&obj, TKelList::StaticClass()));
        QVERIFY(IsA(&list, TList::StaticClass()));
        QVERIFY(!IsA(&list, TPersistent::StaticClass()));
        QVERIFY(!IsA(nullptr, TObject::StaticClass()));
        QVERIFY(TKelListObj::StaticClass()->InheritsFrom(TKelListObj::StaticClass()));
        QVERIFY(!TKelObj::StaticClass()->InheritsFrom(TKelListObj::StaticClass()));
    }

    void registry() {
        QCOMPARE(GetClass("TKelObj"), TKelObj::StaticClass());
        QCOMPARE(GetClass("TKelListObj"), TKelListObj::StaticClass());
        for (const char* name : {"TKelList", "TPage", "TPageList", "tkelobj", ""})
            QVERIFY2(!GetClass(name), name);
        RegisterClass(TTracked::StaticClass());
        QCOMPARE(GetClass("TTracked"), TTracked::StaticClass());
        // A name stays with the class registered first.
        TClassInfo impostor = *TBare::StaticClass();
        impostor.Name = "TTracked";
        RegisterClass(&impostor);
        QCOMPARE(GetClass("TTracked"), TTracked::StaticClass());
    }

    void zeroStateAndCreate() {
        std::unique_ptr<TObject> zero(TKelListObj::StaticClass()->NewInstance());
        auto* z = static_cast<TKelListObj*>(zero.get());
        QVERIFY(!z->List());
        QVERIFY(!z->ElmClass());
        std::unique_ptr<TObject> made(TKelListObj::StaticClass()->Create());
        auto* m = static_cast<TKelListObj*>(made.get());
        QVERIFY(m->List());
        QCOMPARE(m->Count(), 0);
        QCOMPARE(m->ElmClass(), TKelObj::StaticClass());

        std::unique_ptr<TObject> plain(TTracked::StaticClass()->NewInstance());
        QVERIFY(!static_cast<TTracked*>(plain.get())->Created);
        std::unique_ptr<TObject> created(TTracked::StaticClass()->Create());
        QVERIFY(static_cast<TTracked*>(created.get())->Created);
    }

    void listOperations() {
        TKelList list;
        TTracked *a = Tracked(1), *b = Tracked(2), *c = Tracked(3);
        QCOMPARE(list.Add(a), 0);
        QCOMPARE(list.Add(b), 1);
        list.Insert(2, c); // at Count
        list.Insert(0, c);
        QCOMPARE(list.Count(), 4);
        QCOMPARE(list.IndexOf(c), 0);
        list.Exchange(0, 1); // a, c, b, c
        QCOMPARE(list.GetItems(0), a);
        QCOMPARE(list.GetItems(1), c);
        QCOMPARE(list.Remove(c), 1); // the first entry equal to c
        QCOMPARE(list.Remove(c), 2);
        QCOMPARE(list.Remove(c), -1);
        QCOMPARE(list.Extract(b), b);
        QCOMPARE(list.Extract(b), nullptr);
        list.Delete(0);
        QCOMPARE(list.Count(), 0);
        QCOMPARE(TTracked::Live, 3); // entries gone, items alive

        list.Add(a);
        list.SetItems(0, b);
        QCOMPARE(list.GetItems(0), b);
        list.SetCount(3);
        QCOMPARE(list.GetItems(2), nullptr);
        list.SetCount(1);
        QCOMPARE(list.Count(), 1);
        list.SetCapacity(10);
        QCOMPARE(list.Capacity(), 10);
        for (int i = 0; i < 50; ++i)
            list.Add(c);
        QVERIFY(list.Capacity() >= 51);
        list.Clear();
        QCOMPARE(list.Count(), 0);
        QCOMPARE(list.Capacity(), 0);
        QCOMPARE(TTracked::Live, 3);
        delete a;
        delete b;
        delete c;
    }

    void listErrors() {
        TKelList list;
        TTracked item;
        list.Add(&item);
        list.Add(&item);
        const std::vector<std::pair<std::function<void()>, QString>> cases = {
            {[&] { list.GetItems(2); }, "List index out of bounds (2)"},
            {[&] { list.GetItems(-1); }, "List index out of bounds (-1)"},
            {[&] { list.SetItems(5, nullptr); }, "List index out of bounds (5)"},
            {[&] { list.Delete(2); }, "List index out of bounds (2)"},
            {[&] { list.Insert(3, nullptr); }, "List index out of bounds (3)"},
            {[&] { list.Insert(-1, nullptr); }, "List index out of bounds (-1)"},
            {[&] { list.Exchange(7, 9); }, "List index out of bounds (7)"},
            {[&] { list.Exchange(0, 9); }, "List index out of bounds (9)"},
            {[&] { list.SetCapacity(1); }, "List capacity out of bounds (1)"},
            {[&] { list.SetCapacity(INT_MAX); }, "List capacity out of bounds (2147483647)"},
            {[&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
            {[&] { list.SetCount(INT_MAX); }, "List count out of bounds (2147483647)"},
        };
        for (const auto& [call, message] : cases)
            QCOMPARE(ErrorOf<EListError>(call), message);
        // A failed operation changes nothing.
        QCOMPARE(list.Count(), 2);
        QCOMPARE(list.GetItems(1), &item);
    }

    void sortOrdersByTheComparison_data() {
        QTest::addColumn<int>("size");
        for (int n : {0, 1, 2, 3, 17, 1000})
            QTest::addRow("%d entries", n) << n;
    }
    void sortOrdersByTheComparison() {
        QFETCH(int, size);
        std::mt19937 rng(size);
        TKelList list;
        for (int i = 0; i < size; ++i)
            list.Add(Tracked(int(rng() % 50)));
        std::vector<int> expected;
        for (int i = 0; i < size; ++i)
            expected.push_back(static_cast<TTracked*>(list.GetItems(i))->Value);
        std::sort(expected.begin(), expected.end());
        list.Sort(CompareValues);
        for (int i = 0; i < size; ++i)
            QCOMPARE(static_cast<TTracked*>(list.GetItems(i))->Value, expected[size_t(i)]);
        list.ClearAll();
    }

    void sortSurvivesAComparisonThatContradictsItself() {
        for (TListSortCompare compare :
             {CompareAtRandom, CompareAlwaysLess, CompareAlwaysGreater}) {
            TKelList list;
            std::vector<TObject*> items;
            for (int i = 0; i < 300; ++i)
                items.push_back(list.GetItems(list.Add(Tracked(i))));
            list.Sort(compare);
            std::vector<TObject*> after;
            for (int i = 0; i < list.Count(); ++i)
                after.push_back(list.GetItems(i));
            std::sort(items.begin(), items.end());
            std::sort(after.begin(), after.end());
            QVERIFY(items == after); // still a permutation of the entries
            list.ClearAll();
        }
    }

    void clearAllFreesNestedLists() {
        auto* outer = KelNewCreated<TKelList>();
        auto* inner = KelNewCreated<TTrackedList>();
        inner->Add(Tracked(1));
        inner->Add(Tracked(2));
        outer->Add(Tracked(0));
        outer->Add(inner);
        outer->Add(nullptr); // passed over
        QCOMPARE(TTracked::Live, 3);
        outer->ClearAll();
        QCOMPARE(TTracked::Live, 0);
        QCOMPARE(TTrackedList::Live, 0);
        QCOMPARE(outer->Count(), 0);
        QCOMPARE(outer->Add(Tracked(5)), 0); // still usable
        TKelList::FreeAll(outer);
    }

    void freeItemIgnoresBadIndexes() {
        TKelList list;
        list.Add(Tracked(1));
        list.Add(Tracked(2));
        list.FreeItem(-1);
        list.FreeItem(list.Count());
        QCOMPARE(list.Count(), 2);
        QCOMPARE(TTracked::Live, 2);
        QCOMPARE(ErrorOf<EListError>([&] { list.Delete(list.Count()); }),
                 QString("List index out of bounds (2)"));
        list.FreeItem(0);
        QCOMPARE(TTracked::Live, 1);
        QCOMPARE(static_cast<TTracked*>(list.GetItems(0))->Value, 2);
        list.ClearAll();
    }

    void nullListsAndObjectsAreAccepted() {
        TKelList::FreeAll(nullptr);
        TKelList::ClearAll(nullptr);
        TKelListObj::FreeAll(nullptr);
        QCOMPARE(TKelObj::duplicate(nullptr), nullptr);
    }

    void destroyingAListFreesNoItem() {
        TTracked* item = Tracked(1);
        {
            TKelList list;
            list.Add(item);
        }
        auto* obj = KelNewCreated<TKelListObj>();
        obj->Add(item);
        delete obj;
        QCOMPARE(TTracked::Live, 1);
        delete item;

        obj = KelNewCreated<TKelListObj>();
        obj->Add(Tracked(1));
        auto* nested = KelNewCreated<TKelListObj>();
        nested->Add(Tracked(2));
        obj->Add(nested);
        TKelListObj::FreeAll(obj);
        QCOMPARE(TTracked::Live, 0);
    }

    void listObjectWithoutList() {
        auto* obj = KelNewCreated<TKelListObj>();
        QCOMPARE(obj->Count(), 0);
        obj->SetCapacity(10);
        QCOMPARE(obj->Capacity(), 10);
        TKelList* list = obj->List();
        obj->SetList(nullptr);
        TTracked item;
        QCOMPARE(obj->Add(&item), -1);
        QCOMPARE(obj->IndexOf(&item), -1);
        QCOMPARE(obj->Remove(&item), -1);
        QCOMPARE(obj->Extract(&item), nullptr);
        QCOMPARE(obj->GetItems(0), nullptr);
        obj->SetItems(0, &item);
        obj->SetCount(3);
        obj->SetCapacity(3);
        QCOMPARE(obj->Count(), 0);
        QCOMPARE(obj->Capacity(), 0);
        obj->Insert(0, &item);
        obj->Delete(0);
        obj->Exchange(0, 1);
        obj->Sort(CompareValues);
        obj->Clear();
        obj->ClearAll();
        obj->FreeItem(0);
        TKelListObj::FreeAll(obj);
        delete list; // set aside by SetList: the caller's now
    }

    void duplicateListObject() {
        auto* source = KelNewCreated<TKelListObj>();
        source->SetElmClass(TTracked::StaticClass());
        for (int v : {1, 2, 3})
            source->Add(Tracked(v));
        std::unique_ptr<TKelObj> copy(source->duplicate());
        QVERIFY(copy.get() != source);
        QCOMPARE(copy->ClassType(), TKelListObj::StaticClass());
        auto* dup = static_cast<TKelListObj*>(copy.get());
        QCOMPARE(dup->ElmClass(), TTracked::StaticClass());
        QCOMPARE(dup->Count(), 3);
        QVERIFY(dup->List() != source->List());
        for (int i = 0; i < 3; ++i) {
            auto* item = static_cast<TTracked*>(dup->GetItems(i));
            QVERIFY(item != source->GetItems(i));
            QCOMPARE(item->Value, i + 1);
            // Made through the element class in zero state: its Create did not run.
            QVERIFY(!item->Created);
        }
        QCOMPARE(source->Count(), 3);
        QCOMPARE(TTracked::Live, 6);
        TKelListObj::FreeAll(static_cast<TKelListObj*>(copy.release()));
        TKelListObj::FreeAll(source);
    }

    void assignReplacesTheElements() {
        auto* source = KelNewCreated<TKelListObj>();
        source->SetElmClass(TTracked::StaticClass());
        source->Add(Tracked(7));
        auto* dest = KelNewCreated<TKelListObj>();
        dest->Add(Tracked(1));
        dest->Add(Tracked(2));
        dest->Assign(source);
        QCOMPARE(dest->Count(), 1);
        QCOMPARE(static_cast<TTracked*>(dest->GetItems(0))->Value, 7);
        QCOMPARE(TTracked::Live, 2); // dest's old elements were freed
        TKelListObj::FreeAll(dest);
        TKelListObj::FreeAll(source);
    }

    void assignToItselfKeepsTheElements() {
        auto* obj = KelNewCreated<TKelListObj>();
        obj->SetElmClass(TTracked::StaticClass());
        obj->Add(Tracked(1));
        obj->Assign(obj);
        auto* sharer = KelNewCreated<TKelListObj>();
        TKelList* own = sharer->List();
        sharer->SetList(obj->List());
        sharer->Assign(obj);
        QCOMPARE(obj->Count(), 1);
        QCOMPARE(static_cast<TTracked*>(obj->GetItems(0))->Value, 1);
        sharer->SetList(own);
        TKelListObj::FreeAll(sharer);
        TKelListObj::FreeAll(obj);
    }

    void assignWithAnUnusableElementClassChangesNothing() {
        auto* source = KelNewCreated<TKelListObj>();
        source->Add(Tracked(1));
        auto* dest = KelNewCreated<TKelListObj>();
        dest->Add(Tracked(2));
        for (TClass cls : {TClass(nullptr), TList::StaticClass()}) {
            source->SetElmClass(cls);
            QVERIFY(!ErrorOf<EConvertError>([&] { dest->Assign(source); }).isEmpty());
            QCOMPARE(dest->Count(), 1);
            QCOMPARE(static_cast<TTracked*>(dest->GetItems(0))->Value, 2);
        }
        QCOMPARE(TTracked::Live, 2);
        TKelListObj::FreeAll(dest);
        TKelListObj::FreeAll(source);
    }

    void duplicateObject() {
        TBare bare;
        bare.Marker = 5;
        std::unique_ptr<TKelObj> copy(bare.duplicate());
        QCOMPARE(copy->ClassType(), TBare::StaticClass());
        QCOMPARE(static_cast<TBare*>(copy.get())->Marker, 1); // created state
        std::unique_ptr<TKelObj> tracked(Tracked(9));
        std::unique_ptr<TKelObj> trackedCopy(TKelObj::duplicate(tracked.get()));
        QCOMPARE(static_cast<TTracked*>(trackedCopy.get())->Value, 9);
    }

    void duplicateListIsDeep() {
        auto* list = KelNewCreated<TTrackedList>();
        auto* inner = KelNewCreated<TKelList>();
        inner->Add(Tracked(2));
        list->Add(Tracked(1));
        list->Add(inner);
        TObject stranger;
        list->Add(&stranger); // neither a TKelObj nor a TKelList: not copied
        list->Add(nullptr);
        TKelList* copy = list->duplicate();
        QCOMPARE(copy->ClassType(), TTrackedList::StaticClass());
        QCOMPARE(copy->Count(), 2);
        QCOMPARE(static_cast<TTracked*>(copy->GetItems(0))->Value, 1);
        auto* innerCopy = static_cast<TKelList*>(copy->GetItems(1));
        QVERIFY(innerCopy != inner);
        QCOMPARE(static_cast<TTracked*>(innerCopy->GetItems(0))->Value, 2);
        QCOMPARE(TTracked::Live, 4);
        TKelList::FreeAll(copy);
        list->Extract(&stranger);
        TKelList::FreeAll(list);
    }

    void assignErrors() {
        TKelObj obj;
        QCOMPARE(ErrorOf<EConvertError>([&] { obj.Assign(nullptr); }),
                 QString("Cannot assign a nil to a TKelObj"));
        TPlain plain;
        QCOMPARE(ErrorOf<EConvertError>([&] { obj.Assign(&plain); }),
                 QString("Cannot assign a TPlain to a TKelObj"));
        QCOMPARE(ErrorOf<EConvertError>([&] { plain.AssignTo(nullptr); }),
                 QString("Cannot assign a TPlain to a nil"));
        // Both are the system's exceptions.
        try {
            obj.Assign(nullptr);
        } catch (const Exception&) {
            return;
        }
        QFAIL("no error raised");
    }
};

QTEST_GUILESS_MAIN(TestKelUtils)
#include "tst_KelUtils.moc"
