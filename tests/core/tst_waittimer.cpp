#include "core/waittimer.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {
// Ends any wait that the code under test failed to end, with a value no test expects.
constexpr int kGuardMs = 10000;
constexpr int kGuardValue = -1;

void guard(WaitTimer &timer)
{
    QTimer::singleShot(kGuardMs, &timer, [&timer] { timer.EndFailed(kGuardValue); });
}
} // namespace

class TestWaitTimer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testEndedByHandler_data();
    void testEndedByHandler();
    void testTimesOut();
    void testZeroSecondsRunsPendingEvents();
    void testEndSuccessBeforeWaitDoesNotCount();
    void testRestartKeepsWaitAlive();
    void testSecondWaitIsRefused();
    void testDestroyedDuringWait();
};

void TestWaitTimer::testEndedByHandler_data()
{
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("value");
    QTest::newRow("EndSuccess") << true << 7;
    QTest::newRow("EndFailed long before the deadline") << false << 9;
}

void TestWaitTimer::testEndedByHandler()
{
    QFETCH(bool, success);
    QFETCH(int, value);
    WaitTimer timer;
    guard(timer);
    QTimer::singleShot(50, &timer, [&] {
        if (success)
            timer.EndSuccess(value);
        else
            timer.EndFailed(value);
    });
    QCOMPARE(timer.Wait(60), success);
    QCOMPARE(timer.UserParam(), value);
    QVERIFY(!timer.isWaiting());
}

void TestWaitTimer::testTimesOut()
{
    WaitTimer timer;
    guard(timer);
    QVERIFY(!timer.Wait(1));
    QCOMPARE(timer.UserParam(), 0);
}

void TestWaitTimer::testZeroSecondsRunsPendingEvents()
{
    WaitTimer timer;
    QTimer::singleShot(0, &timer, [&timer] { timer.EndSuccess(3); });
    QVERIFY(timer.Wait(0));
    QCOMPARE(timer.UserParam(), 3);

    // Nothing pending: over at once.
    QVERIFY(!timer.Wait(0));
    QCOMPARE(timer.UserParam(), 0);
}

void TestWaitTimer::testEndSuccessBeforeWaitDoesNotCount()
{
    WaitTimer timer;
    timer.EndSuccess(5);
    QCOMPARE(timer.UserParam(), 5);
    QVERIFY(!timer.Wait(0));
    QCOMPARE(timer.UserParam(), 0);
}

void TestWaitTimer::testRestartKeepsWaitAlive()
{
    // A 3-second wait, restarted every second, is still alive after 4.5 seconds.
    WaitTimer timer;
    guard(timer);
    QTimer progress;
    int restarts = 0;
    connect(&progress, &QTimer::timeout, &timer, [&] {
        timer.RestartTimer();
        if (++restarts == 4)
            progress.stop();
    });
    progress.start(1000);
    QTimer::singleShot(4500, &timer, [&timer] { timer.EndSuccess(1); });
    QVERIFY(timer.Wait(3));
    QCOMPARE(restarts, 4);
    QCOMPARE(timer.UserParam(), 1);
}

void TestWaitTimer::testSecondWaitIsRefused()
{
    WaitTimer timer;
    guard(timer);
    bool inner = true;
    QTimer::singleShot(20, &timer, [&] {
        inner = timer.Wait(5);
        timer.EndSuccess(2);
    });
    QVERIFY(timer.Wait(60));
    QVERIFY(!inner);
    QCOMPARE(timer.UserParam(), 2);
}

void TestWaitTimer::testDestroyedDuringWait()
{
    QPointer<WaitTimer> timer = new WaitTimer;
    QTimer::singleShot(20, timer, [&timer] { delete timer; });
    QTimer guardTimer;
    guardTimer.setSingleShot(true);
    connect(&guardTimer, &QTimer::timeout, this, [&timer] {
        if (timer)
            timer->EndSuccess(kGuardValue);
    });
    guardTimer.start(kGuardMs);
    QVERIFY(!timer->Wait(60));
    QVERIFY(timer.isNull());
}

QTEST_GUILESS_MAIN(TestWaitTimer)
#include "tst_waittimer.moc"
