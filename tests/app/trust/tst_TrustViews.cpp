#include "app/trust/PresencePolicyState.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"
#include "tests/support/TestFiles.h"

// The Pause tab and the trust window banner in the panel's real QML,
// offscreen, driven through their controls, with screenshots.
class TestTrustViews : public QObject
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

    void pauseTabAndBanner()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
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
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QTemporaryDir dir;
        const QString shipped = dir.filePath(u"share/org.quorvane.trust-window.policy"_qs);
        QVERIFY(QDir().mkpath(dir.filePath(u"share"_qs)));
        QVERIFY(QFile::copy(
            QStringLiteral(QUORVANE_SOURCE_DIR "/data/polkit/org.quorvane.trust-window.policy"), shipped));
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
        f.trust->setPolicy(&policy);
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
        QFile installed(actions + u"/org.quorvane.trust-window.policy"_qs);
        QVERIFY(installed.open(QIODevice::ReadOnly));
        QFile original(shipped);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(installed.readAll(), original.readAll());
        QCOMPARE(installed.permissions() & (QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());

        // An installation without its policy file says so instead of running a command.
        PresencePolicyState orphan(
            PresencePolicy(dir.filePath(u"elsewhere"_qs), dir.filePath(u"missing.policy"_qs)), runner);
        orphan.startInstall();
        QTRY_VERIFY(orphan.errorMessage().contains(u"no policy file"_qs));
        QVERIFY(orphan.isMissing());
        VERIFY_NO_WARNINGS(view);
    }
};

QTEST_MAIN(TestTrustViews)
#include "tst_TrustViews.moc"
