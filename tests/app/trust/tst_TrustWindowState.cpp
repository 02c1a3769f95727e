#include "tests/app/panel/PanelFixture.h"
#include "tests/support/LogCapture.h"

#include <QSignalSpy>

using Outcome = StandInPresenceConfirmer::Outcome;

// The panel's fixture: its trust window model runs on the panel's clock.
struct Fixture : PanelFixture
{
    QList<QJsonObject> trustRequests()
    {
        QList<QJsonObject> found;
        for (const QJsonValue& request : backend.requests()) {
            if (request.toObject().value(u"target").toString() == u"/trust-window")
                found << request.toObject();
        }
        return found;
    }
};

// The trust window model against the reference back-end on loopback.
class TestTrustWindowState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A quick window; a second tap while the first activation runs starts nothing.
    void quickWindow()
    {
        Fixture f;
        TrustWindowState& s = *f.trust;
        s.setSelectedDuration(60);
        QSignalSpy activating(&s, &TrustWindowState::isActivatingChanged);
        QSignalSpy banner(&s, &TrustWindowState::showsBannerChanged);
        QVERIFY(f.backend.injectDelay("POST", u"/trust-window"_qs, 300));
        s.startActivate();
        QVERIFY(s.isActivating());
        QCoro::waitFor(s.activate());
        QTRY_VERIFY(!s.isActivating());

        QCOMPARE(f.confirmer.calls(), 1);
        const QList<QJsonObject> requests = f.trustRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].value(u"method"_qs).toString(), u"POST"_qs);
        QCOMPARE(requests[0].value(u"body"_qs).toString(),
            u"{\"duration_minutes\":60,\"machine_id\":\"%1\"}"_qs.arg(f.machine->config.id));
        QVERIFY(requests[0].value(u"verified"_qs).toBool());
        QCOMPARE(requests[0].value(u"status"_qs).toInt(), 200);
        QVERIFY(s.isActive() && s.showsBanner() && !s.hasErrorMessage());
        QCOMPARE(banner.count(), 1);
        QCOMPARE(s.activeUntil(), f.now.addSecs(3600));
        QCOMPARE(activating.count(), 2); // true, then false

        // The expiration timer ends it once its end has come, not before.
        f.now = f.now.addSecs(3599);
        s.checkExpiration();
        QVERIFY(s.isActive());
        s.setExpirationCheckInterval(20);
        f.now = f.now.addSecs(1);
        QTRY_VERIFY(!s.isActive());
        QVERIFY(!s.activeUntil().isValid());
        QVERIFY(!s.isExpirationTimerRunning());
        QCOMPARE(banner.count(), 2);
    }

    // The banner shows the end while more than an hour is left, then counts
    // down in minutes and whole seconds.
    void bannerTimeText_data()
    {
        QTest::addColumn<qint64>("remainingMs");
        QTest::addColumn<QString>("expected"); // "ends": the end's time of day
        QTest::newRow("exactly an hour") << qint64(3600000) << u"60:00"_qs;
        QTest::newRow("a moment over an hour") << qint64(3600001) << u"ends"_qs;
        QTest::newRow("one second less") << qint64(3599000) << u"59:59"_qs;
        QTest::newRow("part of a second counts as a whole one") << qint64(3599400) << u"60:00"_qs;
        QTest::newRow("nine seconds") << qint64(9000) << u"0:09"_qs;
        QTest::newRow("past the end") << qint64(-5000) << u"0:00"_qs;
    }
    void bannerTimeText()
    {
        QFETCH(qint64, remainingMs);
        QFETCH(QString, expected);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QDateTime now(QDate(2026, 12, 5), QTime(14, 0), Qt::LocalTime);
        const QDateTime end = now.addMSecs(remainingMs);
        QCOMPARE(TrustWindowState::bannerTimeText(now, end, us),
            expected == u"ends" ? u"ends "_qs + us.toString(end.time(), QLocale::ShortFormat) : expected);
    }

    // The times are sent in UTC, to the second.
    void scheduledWindow()
    {
        Fixture f;
        TrustWindowState& s = *f.trust;
        s.setMode(TrustWindowState::Mode::Scheduled);
        const QDateTime start = f.now.addSecs(2 * 3600);
        const QDateTime end = f.now.addSecs(5 * 3600);
        s.setScheduledStart(start.addMSecs(678).toOffsetFromUtc(3600));
        s.setScheduledEnd(end);
        QCoro::waitFor(s.activate());

        const QList<QJsonObject> requests = f.trustRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].value(u"body"_qs).toString(),
            u"{\"starts_at\":\"%1\",\"ends_at\":\"%2\",\"machine_id\":\"%3\"}"_qs.arg(
                start.toString(Qt::ISODate), end.toString(Qt::ISODate), f.machine->config.id));
        QCOMPARE(requests[0].value(u"status"_qs).toInt(), 200);
        // Active at once, ending at the scheduled end.
        QVERIFY(s.isActive());
        QCOMPARE(s.activeUntil(), end);

        // The back-end's end signal clears the window at once; a start
        // elsewhere changes nothing.
        f.sync->start();
        QTRY_VERIFY(f.sync->subscriber().isConnected());
        Q_EMIT f.sync->trustWindowChanged(true);
        QTest::qWait(50);
        QVERIFY(s.isActive());
        QVERIFY(f.backend.expireTrustWindow());
        QTRY_VERIFY(!s.isActive());
        QVERIFY(!s.isExpirationTimerRunning());
        f.sync->stop();
    }

    // Refusals and transport failures: the person sees the body, or the
    // failure's description, and nothing is active.
    void refusals_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // null: any non-empty text
        QTest::newRow("409 with a body")
            << 409 << QByteArray("trust window already open") << u"trust window already open"_qs;
        QTest::newRow("500 with an empty body") << 500 << QByteArray() << u""_qs;
        QTest::newRow("connection closed") << 0 << QByteArray() << QString();
    }
    void refusals()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        Fixture f;
        TrustWindowState& s = *f.trust;
        QVERIFY(status == 0 ? f.backend.closeEveryConnection("POST", u"/trust-window"_qs)
                            : f.backend.inject("POST", u"/trust-window"_qs, status, body));
        QCoro::waitFor(s.activate());
        QVERIFY(s.hasErrorMessage());
        if (expected.isNull())
            QVERIFY2(!s.errorMessage().isEmpty(), "a transport failure has a description");
        else
            QCOMPARE(s.errorMessage(), expected);
        QVERIFY(!s.isActive() && !s.isActivating() && !s.isExpirationTimerRunning());

        // A later success clears the message.
        QVERIFY(f.backend.reset());
        QCoro::waitFor(s.activate());
        QVERIFY(s.isActive());
        QVERIFY(!s.hasErrorMessage());
    }

    // The refusal's body is shown when it is UTF-8 text.
    void refusalText_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("accents") << QByteArray("d\xc3\xa9j\xc3\xa0") << u"d\u00e9j\u00e0"_qs;
        QTest::newRow("invalid bytes") << QByteArray("\xff\xfe\x80") << u"Unknown error"_qs;
        QTest::newRow("truncated sequence") << QByteArray("ab\xc3") << u"Unknown error"_qs;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << u"Unknown error"_qs;
    }
    void refusalText()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QCOMPARE(TrustWindowState::refusalText(body), expected);
    }

    // A dismissed prompt changes nothing and sends nothing; a failed one, or
    // a missing identity, shows why.
    void confirmationRefused()
    {
        Fixture f;
        TrustWindowState& s = *f.trust;
        QVERIFY(f.backend.inject("POST", u"/trust-window"_qs, 409, "earlier failure"));
        QCoro::waitFor(s.activate());
        f.backend.clearRequests();

        f.confirmer.setOutcome(Outcome::Cancel);
        QSignalSpy activating(&s, &TrustWindowState::isActivatingChanged);
        QCoro::waitFor(s.activate());
        QCOMPARE(s.errorMessage(), u"earlier failure"_qs);
        f.confirmer.setOutcome(Outcome::Deny);
        QCoro::waitFor(s.activate());
        QCOMPARE(s.errorMessage(), u"Authentication failed"_qs);
        QCOMPARE(activating.count(), 0);
        QCOMPARE(f.confirmer.calls(), 3);

        // Without an identity nothing can be signed.
        f.confirmer.setOutcome(Outcome::Grant);
        f.auth.clearKeychain();
        f.auth.reload();
        QCoro::waitFor(s.activate());
        QCOMPARE(s.errorMessage(), u"Failed to sign request"_qs);
        QVERIFY(!s.isActivating() && !s.isActive());
        QVERIFY(f.trustRequests().isEmpty());
    }

    // A window whose identity went away keeps showing, since the back-end
    // cannot be told it ended.
    void deactivateWithoutIdentity()
    {
        Fixture f;
        TrustWindowState& s = *f.trust;
        QCoro::waitFor(s.activate());
        QVERIFY(s.isActive());
        f.auth.clearKeychain();
        f.auth.reload();
        f.backend.clearRequests();
        QCoro::waitFor(s.deactivate());
        QVERIFY(s.isActive() && s.activeUntil().isValid() && s.isExpirationTimerRunning());
        QCOMPARE(s.errorMessage(), u"Failed to sign request"_qs);
        QVERIFY(f.trustRequests().isEmpty());
    }

    // An impossible window is refused before the person is asked.
    void impossibleWindows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("duration");
        QTest::addColumn<int>("startOffset");
        QTest::addColumn<int>("endOffset");
        QTest::addColumn<QString>("expected");
        QTest::newRow("end before start") << 1 << 30 << 7200 << 3600 << u"The end must be after the start"_qs;
        QTest::newRow("end equals start") << 1 << 30 << 3600 << 3600 << u"The end must be after the start"_qs;
        QTest::newRow("end in the past") << 1 << 30 << -7200 << -60 << u"The end must be in the future"_qs;
        QTest::newRow("zero minutes") << 0 << 0 << 0 << 0 << u"Choose a duration"_qs;
        QTest::newRow("negative minutes") << 0 << -15 << 0 << 0 << u"Choose a duration"_qs;
    }
    void impossibleWindows()
    {
        QFETCH(int, mode);
        QFETCH(int, duration);
        QFETCH(int, startOffset);
        QFETCH(int, endOffset);
        QFETCH(QString, expected);
        Fixture f;
        TrustWindowState& s = *f.trust;
        s.setMode(mode == 1 ? TrustWindowState::Mode::Scheduled : TrustWindowState::Mode::AdHoc);
        s.setSelectedDuration(duration);
        s.setScheduledStart(f.now.addSecs(startOffset));
        s.setScheduledEnd(f.now.addSecs(endOffset));
        QCoro::waitFor(s.activate());
        QCOMPARE(s.errorMessage(), expected);
        QCOMPARE(f.confirmer.calls(), 0);
        QVERIFY(f.trustRequests().isEmpty());
        QVERIFY(!s.isActive());
    }

    // Signed DELETE; offline, or refused, the window still ends here.
    void deactivate_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("logPrefix");
        QTest::newRow("closed") << 200 << QString();
        QTest::newRow("connection closed") << 0 << u"Quorvane: trust window close failed: "_qs;
        QTest::newRow("server error") << 500 << u"Quorvane: trust window close failed: HTTP 500"_qs;
    }
    void deactivate()
    {
        QFETCH(int, status);
        QFETCH(QString, logPrefix);
        Fixture f;
        LogCapture log;
        TrustWindowState& s = *f.trust;
        QCoro::waitFor(s.activate());
        QVERIFY(s.isActive());
        f.backend.clearRequests();
        if (status != 200)
            QVERIFY(status == 0 ? f.backend.closeEveryConnection("DELETE", u"/trust-window"_qs)
                                : f.backend.inject("DELETE", u"/trust-window"_qs, status));

        QCoro::waitFor(s.deactivate());
        QVERIFY(!s.isActive() && !s.activeUntil().isValid() && !s.isExpirationTimerRunning());
        if (logPrefix.isEmpty()) {
            // One signed DELETE, which the back-end took.
            QCOMPARE(f.trustRequests().size(), 1);
            QCOMPARE(f.trustRequests().first().value(u"status"_qs).toInt(), 200);
            QVERIFY(log.lines().isEmpty());
        } else {
            QCOMPARE(log.lines().size(), 1);
            QVERIFY2(log.lines().first().startsWith(logPrefix), qPrintable(log.lines().first()));
        }
    }

    // The pickers' days and times (the pause tab's test drives them through
    // the pickers themselves).
    void pickerHelpers()
    {
        Fixture f;
        TrustWindowState& s = *f.trust;
        QCOMPARE(s.dayLabel(0), u"Today"_qs);
        QCOMPARE(s.dayLabel(1), u"Tomorrow"_qs);
        // Out-of-range parts are clamped, not wrapped into another day.
        QCOMPARE(s.composeTime(0, 99, -4).toLocalTime().time(), QTime(23, 0));
    }
};

QTEST_MAIN(TestTrustWindowState)
#include "tst_TrustWindowState.moc"
