// No core file of the program can hold its pages or passwords.

#include "CoreDumps.h"

#include <QtTest>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class TestCoreDumps : public QObject {
    Q_OBJECT
private slots:
    // In a child process, so that this one stays as it was.
    void disabledForGood() {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            DisableCoreDumps();
            rlimit core{};
            int failed = ::getrlimit(RLIMIT_CORE, &core) != 0;
            failed |= (core.rlim_cur != 0) << 1;
            failed |= (core.rlim_max != 0) << 2; // nothing can raise it again
            failed |= (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) << 3;
            const rlimit raise{RLIM_INFINITY, RLIM_INFINITY};
            failed |= (::setrlimit(RLIMIT_CORE, &raise) == 0 && ::geteuid() != 0) << 4;
            ::_exit(failed);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
    }
};

QTEST_GUILESS_MAIN(TestCoreDumps)
#include "tst_CoreDumps.moc"
