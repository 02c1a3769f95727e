#include "app/trust/PresencePolicyState.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"
#include "tests/support/LogCapture.h"

#include <QSignalSpy>

using Outcome = StandInPresenceConfirmer::Outcome;

// The panel's fixture: its trust window model runs on the panel's clock.
struct Fixture : PanelFixture
{
    QList<QJsonObject> trustRequests() { return requestsTo(u"/trust-window"_qs); }
};

// The trust window model against the reference back-end on loopback, and the
// Pause tab and the trust window banner in the panel's real QML, offscreen,
// driven through their controls, with screenshots.
class TestTrustWindowState : public QObject
{
    Q_OBJECT

    // The panel on its pause tab.
    struct PauseView : PanelView
    {
        explicit PauseView(ApprovalsPanel& panel)
            : PanelView(panel)
        {
            panel.setSelectedTab(u"pause"_qs);
        }
        void clickMode(int index) { click(inside(find(u"modePicker"_qs), u"segment%1"_qs.arg(index))); }
    };

private Q_SLOTS:
    void initTestCase() { PanelView::prepareApplication(); }

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
        QCOMPARE(requests[0].value(u"body"_qs).toString(),
            u"{\"duration_minutes\":60,\"machine_id\":\"%1\"}"_qs.arg(f.machine->config.id));
        QVERIFY(requests[0].value(u"verified"_qs).toBool());
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

        // The pickers' days; out-of-range times are clamped, not wrapped
        // into another day.
        QCOMPARE(s.dayLabel(0), u"Today"_qs);
        QCOMPARE(s.dayLabel(1), u"Tomorrow"_qs);
        QCOMPARE(s.composeTime(0, 99, -4).toLocalTime().time(), QTime(23, 0));
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
        if (expected.isNull()) // a transport failure: its description
            QVERIFY(!s.errorMessage().isEmpty());
        else
            QCOMPARE(s.errorMessage(), expected);
        QVERIFY(!s.isActive() && !s.isActivating() && !s.isExpirationTimerRunning());
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

    // Signed DELETE; offline, or refused, the window still ends here. One
    // whose identity went away keeps showing: the back-end cannot be told.
    void deactivate_data()
    {
        QTest::addColumn<int>("status"); // -1: no identity
        QTest::addColumn<QString>("logPrefix");
        QTest::newRow("closed") << 200 << QString();
        QTest::newRow("no identity") << -1 << QString();
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
        if (status == -1) {
            f.auth.clearKeychain();
            f.auth.reload();
            QCoro::waitFor(s.deactivate());
            QVERIFY(s.isActive() && s.activeUntil().isValid() && s.isExpirationTimerRunning());
            QCOMPARE(s.errorMessage(), u"Failed to sign request"_qs);
            QVERIFY(f.trustRequests().isEmpty());
            return;
        }
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

    void pauseTabAndBanner()
    {
        PanelFixture f;
        TrustWindowState& s = *f.trust;
        PauseView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_VERIFY(view.find(u"pauseTab"_qs));

        // Quick mode: a chip per duration, the model's selected.
        QCOMPARE(view.text(u"activateButton"_qs), u"Start"_qs);
        QVERIFY(!view.find(u"startPicker"_qs) && !view.find(u"errorText"_qs));
        for (int minutes : TrustWindowState::durations())
            QCOMPARE(view.find(u"chip%1"_qs.arg(minutes))->property("isSelected").toBool(), minutes == 30);
        view.screenshot(u"pause-tab"_qs);
        view.click(view.find(u"chip60"_qs));
        QCOMPARE(s.selectedDuration(), 60);
        QTRY_VERIFY(view.find(u"chip60"_qs)->property("isSelected").toBool());

        // Schedule mode: the pickers follow the model and write it back.
        view.clickMode(1);
        QCOMPARE(s.mode(), TrustWindowState::Mode::Scheduled);
        QTRY_COMPARE(view.text(u"activateButton"_qs), u"Schedule"_qs);
        QVERIFY(!view.find(u"durationChips"_qs) && view.find(u"endPicker"_qs));
        const QDateTime start = QDateTime(f.now.toLocalTime().date().addDays(1), QTime(9, 30), Qt::LocalTime);
        s.setScheduledStart(start);
        QCOMPARE(view.find(u"startPickerHour"_qs)->property("value").toInt(), 9);
        QCOMPARE(view.find(u"startPickerMinute"_qs)->property("value").toInt(), 30);
        QCOMPARE(view.find(u"startPickerDay"_qs)->property("value").toInt(), s.dayOffset(start));
        QQuickItem* hour = view.find(u"startPickerHour"_qs);
        QMetaObject::invokeMethod(hour, "increase");
        QMetaObject::invokeMethod(hour, "valueModified");
        QCOMPARE(s.scheduledStart().toLocalTime(), start.addSecs(3600));
        view.screenshot(u"pause-tab-schedule"_qs);

        // While it asks the back-end the button says so and cannot be pressed
        // again; a refusal shows in the caption, a success clears it.
        view.clickMode(0);
        QVERIFY(f.backend.inject("POST", u"/trust-window"_qs, 409, "trust window already open", 1, 300));
        view.click(view.find(u"activateButton"_qs));
        QTRY_VERIFY(s.isActivating());
        QCOMPARE(view.text(u"activateButton"_qs), u"Activating..."_qs);
        QVERIFY(!view.find(u"activateButton"_qs)->isEnabled());
        QTRY_VERIFY(!s.isActivating());
        QTRY_COMPARE(view.text(u"errorText"_qs), s.errorMessage());
        view.screenshot(u"pause-tab-error"_qs);
        view.click(view.find(u"activateButton"_qs));
        QTRY_VERIFY(s.isActive());
        QTRY_VERIFY(!view.find(u"errorText"_qs));

        // The banner shows the model's time left, its own timer refreshes it,
        // and its "Cancel" ends the window.
        QTRY_COMPARE(view.text(u"bannerTime"_qs), u"60:00"_qs);
        view.screenshot(u"trust-banner"_qs);
        f.now = f.now.addSecs(11);
        QTRY_COMPARE(view.text(u"bannerTime"_qs), u"59:49"_qs);
        view.click(PanelView::inside(view.find(u"trustWindowBanner"_qs), u"cancelButton"_qs));
        QTRY_VERIFY(!s.isActive());
        QTRY_VERIFY(!view.find(u"trustWindowBanner"_qs));
        VERIFY_NO_WARNINGS(view);
    }

    // An installation whose polkit policy is not where polkitd reads actions:
    // the tab says so and offers to copy it there with administrator rights.
    void pauseTabOffersThePresencePolicy()
    {
        QTemporaryDir dir;
        const QString shipped = dir.filePath(u"share/org.quorvane.trust-window.policy"_qs);
        QVERIFY(TestFiles::write(shipped,
            TestFiles::contentOf(
                QStringLiteral(QUORVANE_SOURCE_DIR "/data/polkit/org.quorvane.trust-window.policy")),
            0644));
        const QString actions = dir.filePath(u"polkit-1/actions"_qs);
        // pkexec only talks to the system bus: the stand-in refuses once (the
        // prompt dismissed), then runs the command without privileges.
        const QString pkexec = dir.filePath(u"pkexec"_qs);
        const QByteArray refusedOnce = QFile::encodeName(dir.filePath(u"refused-once"_qs));
        QVERIFY(TestFiles::writeShellScript(pkexec,
            "if [ ! -e '" + refusedOnce + "' ]; then : > '" + refusedOnce
                + "'; exit 126; fi\nexec \"$@\"\n"));
        PkexecPrivilegedRunner runner(pkexec);
        PresencePolicyState policy(PresencePolicy(actions, shipped), runner);
        PanelFixture f(&policy);
        QVERIFY(policy.isMissing());

        PauseView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_VERIFY(view.find(u"policyNote"_qs));
        // The popover takes the panel's implicit height: both buttons must lie inside it.
        view.window.resize(360, int(view.item->implicitHeight()));
        QTRY_COMPARE(view.window.height(), int(view.item->implicitHeight()));
        for (const QString& name : { u"installPolicyButton"_qs, u"activateButton"_qs }) {
            QQuickItem* button = view.find(name);
            const QRectF inScene = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
            QVERIFY2(
                QRectF(0, 0, view.window.width(), view.window.height()).contains(inScene), qPrintable(name));
        }
        view.screenshot(u"pause-tab-policy-missing"_qs);

        view.click(view.find(u"installPolicyButton"_qs));
        QTRY_COMPARE(view.text(u"policyErrorText"_qs), u"Administrator rights were not given."_qs);
        QVERIFY(policy.isMissing());
        view.click(view.find(u"installPolicyButton"_qs));
        QTRY_VERIFY(!policy.isMissing());
        QTRY_VERIFY(!view.find(u"policyNote"_qs));
        QVERIFY(policy.errorMessage().isEmpty());
        const QString installed = actions + u"/org.quorvane.trust-window.policy"_qs;
        QCOMPARE(TestFiles::contentOf(installed), TestFiles::contentOf(shipped));
        QCOMPARE(TestFiles::modeOf(installed) & 022, 0);

        // An installation without its policy file (a build tree) offers no
        // install, says why, and would not run a command anyway.
        QVERIFY(policy.canInstall());
        PresencePolicyState orphan(
            PresencePolicy(dir.filePath(u"elsewhere"_qs), dir.filePath(u"missing.policy"_qs)), runner);
        QVERIFY(!orphan.canInstall());
        orphan.startInstall();
        QTRY_VERIFY(orphan.errorMessage().contains(u"no policy file"_qs));
        QVERIFY(orphan.isMissing());
        VERIFY_NO_WARNINGS(view);
    }
};

QTEST_MAIN(TestTrustWindowState)
#include "tst_TrustWindowState.moc"
