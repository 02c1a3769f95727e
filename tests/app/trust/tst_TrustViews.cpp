#include "app/style/QuorvaneStyle.h"
#include "app/trust/PresencePolicyState.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/app/trust/TrustFixture.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString screenshotDir()
{
    const QString build = qEnvironmentVariable("QUORVANE_BUILD_DIR");
    const QString dir = (build.isEmpty() ? QDir::currentPath() : build) + u"/screenshots"_qs;
    QDir().mkpath(dir);
    return dir;
}

} // namespace

// The Pause tab and the trust window banner, loaded from their real QML
// offscreen, driven through their controls, with screenshots.
class TestTrustViews : public QObject
{
    Q_OBJECT

    struct Fixture : TrustFixture
    {
        QmlWarningGuard guard;
        QQmlEngine engine;
        QQuickWindow window;
        std::unique_ptr<QObject> view;

        Fixture()
        {
            QmlWarningGuard::prepare(engine);
            window.setColor(QuorvaneStyle::windowBackground());
        }
        ~Fixture() { view.reset(); }

        QQuickItem* load(const QString& file, int width, int height)
        {
            QQmlComponent component(&engine, QUrl(u"qrc:/qt/qml/Quorvane/Trust/"_qs + file));
            if (!component.isReady()) {
                qWarning().noquote() << "not ready:" << component.status() << component.errorString();
                return nullptr;
            }
            view.reset(
                component.createWithInitialProperties({ { u"model"_qs, QVariant::fromValue(state.get()) } }));
            if (!view) {
                qWarning().noquote() << component.errorString();
                return nullptr;
            }
            auto* item = qobject_cast<QQuickItem*>(view.get());
            window.resize(width, height);
            item->setWidth(width);
            item->setParentItem(window.contentItem());
            window.show();
            return item;
        }

        QQuickItem* find(const QString& name)
        {
            return QmlItems::find(qobject_cast<QQuickItem*>(view.get()), name);
        }

        void click(const QString& name)
        {
            QQuickItem* item = find(name);
            QVERIFY2(item, qPrintable(name));
            const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
            QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        }

        QString text(const QString& name)
        {
            QQuickItem* item = find(name);
            return item ? item->property("text").toString() : u"<missing %1>"_qs.arg(name);
        }
    };

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }

    void pauseTab()
    {
        Fixture f;
        QQuickItem* tab = f.load(u"PauseTab.qml"_qs, 360, 260);
        QVERIFY(tab);
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        TrustWindowState& s = *f.state;

        // Quick mode: a chip per duration, the model's selected.
        QCOMPARE(f.text(u"activateButton"_qs), u"Start"_qs);
        QVERIFY(!f.find(u"startPicker"_qs)->isVisible());
        QCOMPARE(f.text(u"chip60"_qs), u"1h"_qs);
        for (int minutes : TrustWindowState::durations())
            QCOMPARE(f.find(u"chip%1"_qs.arg(minutes))->property("isSelected").toBool(), minutes == 30);
        QVERIFY(!f.find(u"errorText"_qs)->isVisible());
        f.window.grabWindow().save(screenshotDir() + u"/pause-tab.png"_qs);
        f.click(u"chip60"_qs);
        QCOMPARE(s.selectedDuration(), 60);
        QVERIFY(f.find(u"chip60"_qs)->property("isSelected").toBool());

        // Schedule mode: the pickers follow the model and write it back.
        f.click(u"segment1"_qs);
        QCOMPARE(s.mode(), TrustWindowState::Mode::Scheduled);
        QCOMPARE(f.text(u"activateButton"_qs), u"Schedule"_qs);
        QVERIFY(!f.find(u"durationChips"_qs)->isVisible());
        QVERIFY(f.find(u"endPicker"_qs)->isVisible());
        const QDateTime start = QDateTime(QDate::currentDate().addDays(1), QTime(9, 30), Qt::LocalTime);
        s.setScheduledStart(start);
        QCOMPARE(f.find(u"startPickerHour"_qs)->property("value").toInt(), 9);
        QCOMPARE(f.find(u"startPickerMinute"_qs)->property("value").toInt(), 30);
        QCOMPARE(f.find(u"startPickerDay"_qs)->property("value").toInt(), s.dayOffset(start));
        QQuickItem* hour = f.find(u"startPickerHour"_qs);
        QMetaObject::invokeMethod(hour, "increase");
        QMetaObject::invokeMethod(hour, "valueModified");
        QCOMPARE(s.scheduledStart().toLocalTime(), start.addSecs(3600));
        f.window.grabWindow().save(screenshotDir() + u"/pause-tab-schedule.png"_qs);

        // While it asks the back-end the button says so and cannot be pressed
        // again; a refusal shows in the caption, a success clears it.
        f.click(u"segment0"_qs);
        QVERIFY(f.backend.inject("POST", u"/trust-window"_qs, 409, "trust window already open", 1, 300));
        f.click(u"activateButton"_qs);
        QTRY_VERIFY(s.isActivating());
        QCOMPARE(f.text(u"activateButton"_qs), u"Activating..."_qs);
        QVERIFY(!f.find(u"activateButton"_qs)->isEnabled());
        QTRY_VERIFY(!s.isActivating());
        QVERIFY(f.find(u"errorText"_qs)->isVisible());
        QCOMPARE(f.text(u"errorText"_qs), s.errorMessage());
        f.window.grabWindow().save(screenshotDir() + u"/pause-tab-error.png"_qs);
        f.click(u"activateButton"_qs);
        QTRY_VERIFY(s.isActive());
        QVERIFY(!f.find(u"errorText"_qs)->isVisible());
        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(u'\n')));
    }

    // An installation whose polkit policy is not where polkitd reads actions:
    // the tab says so and offers to copy it there with administrator rights.
    void pauseTabOffersThePresencePolicy()
    {
        Fixture f;
        QTemporaryDir dir;
        const QString shipped = dir.filePath(u"share/org.quorvane.trust-window.policy"_qs);
        QVERIFY(QDir().mkpath(dir.filePath(u"share"_qs)));
        QVERIFY(QFile::copy(
            QStringLiteral(QUORVANE_SOURCE_DIR "/data/polkit/org.quorvane.trust-window.policy"), shipped));
        const QString actions = dir.filePath(u"polkit-1/actions"_qs);
        // pkexec only talks to the system bus: the stand-in refuses once (the
        // prompt dismissed), then runs the command without privileges.
        const QString pkexec = dir.filePath(u"pkexec"_qs);
        const QString refusedOnce = dir.filePath(u"refused-once"_qs);
        QVERIFY(TestFiles::writeShellScript(pkexec,
            "if [ ! -e '" + QFile::encodeName(refusedOnce) + "' ]; then : > '"
                + QFile::encodeName(refusedOnce) + "'; exit 126; fi\nexec \"$@\"\n"));
        PkexecPrivilegedRunner runner(pkexec);
        PresencePolicyState policy(PresencePolicy(actions, shipped), runner);
        f.state->setPolicy(&policy);
        QVERIFY(policy.isMissing());

        QQuickItem* tab = f.load(u"PauseTab.qml"_qs, 360, 260);
        QVERIFY(tab);
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QVERIFY(f.find(u"policyNote"_qs)->isVisible());
        // The popover takes the tab's implicit height: both buttons must lie inside it.
        f.window.resize(360, int(tab->implicitHeight()));
        QTRY_COMPARE(f.window.height(), int(tab->implicitHeight()));
        for (const QString& name : { u"installPolicyButton"_qs, u"activateButton"_qs }) {
            QQuickItem* button = f.find(name);
            const QRectF inScene = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
            QVERIFY2(QRectF(0, 0, f.window.width(), f.window.height()).contains(inScene), qPrintable(name));
        }
        f.window.grabWindow().save(screenshotDir() + u"/pause-tab-policy-missing.png"_qs);

        f.click(u"installPolicyButton"_qs);
        QTRY_COMPARE(f.text(u"policyErrorText"_qs), u"Administrator rights were not given."_qs);
        QVERIFY(policy.isMissing());

        f.click(u"installPolicyButton"_qs);
        QTRY_VERIFY(!policy.isMissing());
        QVERIFY(!f.find(u"policyNote"_qs)->isVisible());
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
        QTRY_VERIFY(!orphan.errorMessage().isEmpty());
        QVERIFY(orphan.errorMessage().contains(u"no policy file"_qs));
        QVERIFY(orphan.isMissing());
        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(QLatin1Char('\n'))));
    }

    // The banner shows the model's time left and its own timer refreshes it.
    void banner()
    {
        Fixture f;
        TrustWindowState& s = *f.state;
        s.setSelectedDuration(60);
        QCoro::waitFor(s.activate());
        QVERIFY(f.load(u"TrustWindowBanner.qml"_qs, 360, 40));
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.text(u"bannerTime"_qs), u"60:00"_qs);
        f.window.grabWindow().save(screenshotDir() + u"/trust-banner.png"_qs);
        f.clock = f.clock.addSecs(11);
        QTRY_COMPARE(f.text(u"bannerTime"_qs), u"59:49"_qs);
        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(u'\n')));
    }
};

QTEST_MAIN(TestTrustViews)
#include "tst_TrustViews.moc"
