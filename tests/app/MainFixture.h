#pragma once
// A main window on a vault in a temporary folder, unlocked through the real
// unlock window, with helpers to drive it the way a user does.

#include "Application.h"
#include "RichEdit.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_confirm.h"
#include "kel_edit.h"
#include "vault/PageFixtures.h"
#include "vmr_edit.h"
#include "vmr_main.h"
#include "vmr_pagelist.h"
#include "vmr_splash.h"
#include "vmr_vault.h"

#include <QAction>
#include <QBuffer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <deque>
#include <memory>

// A page as the user sees it: its title and the plain text of its body.
struct TSeenPage {
    QString Title;
    QString Text;
    bool operator==(const TSeenPage&) const = default;
};
using TSeenPages = QList<TSeenPage>;

const TSeenPages ThreePages = {{QStringLiteral("Alpha"), QStringLiteral("first text")},
                               {QStringLiteral("Bank"), QStringLiteral("second text")},
                               {QStringLiteral("Cars"), QStringLiteral("third text")}};

inline char* toString(const TSeenPage& P) {
    return QTest::toString(QStringLiteral("{'%1', '%2'}").arg(P.Title, P.Text));
}

// The plain text an editor shows for a page body.
inline QString PlainOf(const QByteArray& Body) {
    TRichEdit re;
    if (Body.isEmpty())
        return {};
    QBuffer b;
    b.setData(Body);
    b.open(QIODevice::ReadOnly);
    re.Lines.LoadFromStream(b);
    return re.Text();
}

// A body as the editor writes it for a plain text.
inline QByteArray RtfOf(const QString& Plain) {
    TRichEdit re;
    re.SetText(Plain);
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    re.Lines.SaveToStream(b);
    return b.data();
}

inline TSeenPages SeenPages(const TPageList& Pages) {
    TSeenPages seen;
    for (int i = 0; i < Pages.Count(); ++i)
        seen.append({Pages.GetPages(i)->Title(), PlainOf(Pages.GetPages(i)->Text())});
    return seen;
}

inline QByteArray FileBytes(const QString& Name) {
    QFile f(Name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The pages of a vault file, in file order.
inline TSeenPages SeenVault(const QString& FileName) {
    TOwnedPages read;
    ReadVaultFile(FileName, [&](TPage* p) { read.List->Add(p); });
    return SeenPages(*read.List);
}

// Answers confirm boxes from a queue (an empty queue answers No) and records
// their questions.
struct TConfirmRecorder {
    std::deque<int> Answers;
    QList<TConfirmBoxCall> Calls;
    TConfirmRecorder() {
        SetConfirmBoxHook([this](const TConfirmBoxCall& Call) {
            Calls.append(Call);
            if (Answers.empty())
                return 7;
            const int a = Answers.front();
            Answers.pop_front();
            return a;
        });
    }
    ~TConfirmRecorder() { SetConfirmBoxHook({}); }
};

class TMainFixture {
public:
    TMainFixture() { SetRunningExePath(Dir.filePath(QStringLiteral("vellomar"))); }
    ~TMainFixture() {
        if (W)
            W->setAttribute(Qt::WA_DeleteOnClose, false);
        W.reset();
        SetRunningExePath({});
    }

    QTemporaryDir Dir;
    std::unique_ptr<TTPagesMain> W;

    QString Vault() const { return Dir.filePath(QStringLiteral("vellomar.pgs")); }

    void WriteVault(const TSeenPages& Pages) {
        TOwnedPages pages;
        for (const TSeenPage& p : Pages)
            pages.Add(p.Title, p.Text.isEmpty() ? QByteArray() : RtfOf(p.Text));
        WriteVaultFile(Vault(), *pages.List, pages.List->Count());
    }

    // A vault of pages whose bodies are given as stored bytes.
    void WriteBodies(const QList<QPair<QString, QByteArray>>& Pages) {
        TOwnedPages pages;
        for (const auto& [title, body] : Pages)
            pages.Add(title, body);
        WriteVaultFile(Vault(), *pages.List, pages.List->Count());
    }

    // A main window on the fixture's vault, unlocked with the default
    // password and shown, active: another copy of the program.
    static std::unique_ptr<TTPagesMain> Unlock() {
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            if (auto* s = qobject_cast<TVMRSplash*>(m))
                QTest::keyClicks(s->ePassword, DefaultPassword);
        });
        auto w = std::make_unique<TTPagesMain>();
        ShowActive(w.get());
        return w;
    }

    // Unlocks with the default password and shows the window, active.
    TTPagesMain* Open() {
        W = Unlock();
        return W.get();
    }

    TTPagesMain* OpenWith(const TSeenPages& Pages) {
        WriteVault(Pages);
        return Open();
    }

    // What the user would see of every page: the stored pages, with the
    // current one as the editor and the title field show it.
    TSeenPages Seen() const {
        TSeenPages seen = SeenPages(*W->Pages);
        if (W->CurPageIx() >= 0)
            seen[W->CurPageIx()] = {W->eTitle->Text(), W->eText->Text()};
        return seen;
    }
    TSeenPages Stored() const { return SeenPages(*W->Pages); }

    void ClickItem(int Index) {
        QListWidgetItem* it = W->ePages->item(Index);
        QVERIFY(it);
        QTest::mouseClick(W->ePages->viewport(), Qt::LeftButton, {},
                          W->ePages->visualItemRect(it).center());
    }
    // Clicks into the editor and types at the end of its text.
    void TypeInText(const QString& Keys) {
        QTest::mouseClick(W->eText->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(W->eText, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(W->eText, Keys);
    }
    // Replaces the title field's text by typing, one key at a time.
    void TypeTitle(const QString& Keys) {
        W->eTitle->setFocus();
        QTest::keyClick(W->eTitle, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(W->eTitle, Keys);
    }
    void Key(int QtKey, Qt::KeyboardModifiers Mods = {}) {
        W->ePages->setFocus();
        QTest::keyClick(W->ePages, Qt::Key(QtKey), Mods);
    }
    // Shortcuts need the window active; a closed modal window leaves no
    // window active on the offscreen platform.
    void CtrlS() {
        ShowActive(W.get());
        QTest::keyClick(W->ePages, Qt::Key_S, Qt::ControlModifier);
    }
};

// Runs Action on the page editor once it is open; it must close it.
inline void WhenPageForm(std::function<void(TPageForm*)> Action) {
    WhenModal([Action](QWidget* m) {
        auto* f = qobject_cast<TPageForm*>(m);
        QVERIFY2(f, "the page editor did not open");
        Action(f);
    });
}

// Fills the page editor as a user would and leaves it with Ok.
inline void FillPageForm(TPageForm* F, const QString& Title, const QString& Text) {
    QTest::keyClick(F->eTitle, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(F->eTitle, Title);
    F->eText->setFocus();
    QTest::keyClick(F->eText, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(F->eText, Text);
    QTest::mouseClick(F->bOk, Qt::LeftButton);
}

#define VMR_APP_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char** argv) {                                                              \
        Q_INIT_RESOURCE(assets);                                                                   \
        TApplication app(argc, argv);                                                              \
        TApplication::SetTitle(QStringLiteral("Vellomar "));                                       \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return RunTestObject(tc, argc, argv);                                                      \
    }
