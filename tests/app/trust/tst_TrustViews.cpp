#include "app/style/QuorvaneStyle.h"
#include "app/trust/PresenceConfirmation.h"
#include "app/trust/PresencePolicyState.h"
#include "app/trust/TrustWindowState.h"
#include "core/MachineAuthService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "platform/StandInPresenceConfirmer.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

QString screenshotDir()
{
    const QString build = qEnvironmentVariable("QUORVANE_BUILD_DIR");
    const QString dir = (build.isEmpty() ? QDir::currentPath() : build) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

// The Pause tab and the trust window banner, loaded from their real QML
// offscreen, driven through their controls, with screenshots.
class TestTrustViews : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        MachineAuthService auth { store };
        QNetworkAccessManager network;
        StandInPresenceConfirmer confirmer { StandInPresenceConfirmer::Outcome::Grant };
        PresenceConfirmation biometric { confirmer };
        QDateTime clock = QDateTime::currentDateTimeUtc();
        std::unique_ptr<TrustWindowState> state;
        QmlWarningGuard guard;
        QQmlEngine engine;
        QQuickWindow window;
        std::unique_ptr<QObject> view;

        Fixture()
        {
            auth.reload();
            state = std::make_unique<TrustWindowState>(
                auth, network, biometric, nullptr, [this] { return clock; });
            QmlWarningGuard::prepare(engine);
            window.setColor(QuorvaneStyle::windowBackground());
        }
        ~Fixture() { view.reset(); }

        QQuickItem* load(const QString& file, int width, int height)
        {
            QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Trust/") + file));
            if (!component.isReady()) {
                qWarning().noquote() << "not ready:" << component.status() << component.errorString();
                return nullptr;
            }
            view.reset(component.createWithInitialProperties(
                { { QStringLiteral("model"), QVariant::fromValue(state.get()) } }));
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
            return item ? item->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
        }
    };

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }

    void pauseTab()
    {
        Fixture f;
        QQuickItem* tab = f.load(QStringLiteral("PauseTab.qml"), 360, 260);
        QVERIFY(tab);
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        TrustWindowState& s = *f.state;

        // Quick mode: five chips, 30 minutes selected, "Start" with its icon.
        QCOMPARE(f.text(QStringLiteral("activateButton")), QStringLiteral("Start"));
        QVERIFY(f.find(QStringLiteral("durationChips"))->isVisible());
        QVERIFY(!f.find(QStringLiteral("startPicker"))->isVisible());
        const QStringList labels { QStringLiteral("15m"), QStringLiteral("30m"), QStringLiteral("1h"),
            QStringLiteral("2h"), QStringLiteral("4h") };
        int index = 0;
        for (int minutes : TrustWindowState::durations()) {
            QQuickItem* chip = f.find(QStringLiteral("chip%1").arg(minutes));
            QVERIFY(chip);
            QCOMPARE(chip->property("text").toString(), labels.at(index++));
            QCOMPARE(chip->property("isSelected").toBool(), minutes == 30);
        }
        QVERIFY(!f.find(QStringLiteral("errorText"))->isVisible());
        f.window.grabWindow().save(screenshotDir() + QStringLiteral("/pause-tab.png"));

        f.click(QStringLiteral("chip60"));
        QCOMPARE(s.selectedDuration(), 60);
        QVERIFY(f.find(QStringLiteral("chip60"))->property("isSelected").toBool());
        QVERIFY(!f.find(QStringLiteral("chip30"))->property("isSelected").toBool());

        // Schedule mode: the pickers follow the model and write it back.
        f.click(QStringLiteral("segment1"));
        QCOMPARE(s.mode(), TrustWindowState::Mode::Scheduled);
        QCOMPARE(f.text(QStringLiteral("activateButton")), QStringLiteral("Schedule"));
        QVERIFY(!f.find(QStringLiteral("durationChips"))->isVisible());
        QVERIFY(f.find(QStringLiteral("startPicker"))->isVisible());
        QVERIFY(f.find(QStringLiteral("endPicker"))->isVisible());
        const QDateTime start = QDateTime(QDate::currentDate().addDays(1), QTime(9, 30), Qt::LocalTime);
        s.setScheduledStart(start);
        QCOMPARE(f.find(QStringLiteral("startPickerHour"))->property("value").toInt(), 9);
        QCOMPARE(f.find(QStringLiteral("startPickerMinute"))->property("value").toInt(), 30);
        QCOMPARE(f.find(QStringLiteral("startPickerDay"))->property("value").toInt(), s.dayOffset(start));
        QQuickItem* hour = f.find(QStringLiteral("startPickerHour"));
        QMetaObject::invokeMethod(hour, "increase");
        QMetaObject::invokeMethod(hour, "valueModified");
        QCOMPARE(s.scheduledStart().toLocalTime(), start.addSecs(3600));
        f.window.grabWindow().save(screenshotDir() + QStringLiteral("/pause-tab-schedule.png"));

        // A refusal shows the body in the caption; a success clears it.
        f.click(QStringLiteral("segment0"));
        QCOMPARE(s.mode(), TrustWindowState::Mode::AdHoc);
        QVERIFY(f.backend.inject(
            "POST", QStringLiteral("/trust-window"), 409, "trust window already open", 1, 300));
        f.click(QStringLiteral("activateButton"));
        QTRY_VERIFY(s.isActivating());
        QCOMPARE(f.text(QStringLiteral("activateButton")), QStringLiteral("Activating..."));
        QVERIFY(!f.find(QStringLiteral("activateButton"))->isEnabled());
        QTRY_VERIFY(!s.isActivating());
        QVERIFY(f.find(QStringLiteral("errorText"))->isVisible());
        QCOMPARE(f.text(QStringLiteral("errorText")), QStringLiteral("trust window already open"));
        QCOMPARE(f.text(QStringLiteral("activateButton")), QStringLiteral("Start"));
        f.window.grabWindow().save(screenshotDir() + QStringLiteral("/pause-tab-error.png"));

        f.click(QStringLiteral("activateButton"));
        QTRY_VERIFY(s.isActive());
        QVERIFY(!f.find(QStringLiteral("errorText"))->isVisible());
        QCOMPARE(f.confirmer.calls(), 2);

        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(QLatin1Char('\n'))));
    }

    // An installation whose polkit policy is not where polkitd reads actions:
    // the tab says so and offers to copy it there with administrator rights.
    void pauseTabOffersThePresencePolicy()
    {
        Fixture f;
        QTemporaryDir dir;
        const QString shipped = dir.filePath(QStringLiteral("share/org.quorvane.trust-window.policy"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("share"))));
        QVERIFY(QFile::copy(
            QStringLiteral(QUORVANE_SOURCE_DIR "/data/polkit/org.quorvane.trust-window.policy"), shipped));
        const QString actions = dir.filePath(QStringLiteral("polkit-1/actions"));
        // pkexec only talks to the system bus: the stand-in refuses once (the
        // prompt dismissed), then runs the command without privileges.
        const QString pkexec = dir.filePath(QStringLiteral("pkexec"));
        const QString refusedOnce = dir.filePath(QStringLiteral("refused-once"));
        QVERIFY(TestFiles::writeShellScript(pkexec,
            "if [ ! -e '" + QFile::encodeName(refusedOnce) + "' ]; then : > '"
                + QFile::encodeName(refusedOnce) + "'; exit 126; fi\nexec \"$@\"\n"));
        PkexecPrivilegedRunner runner(pkexec);
        PresencePolicyState policy(PresencePolicy(actions, shipped), runner);
        f.state->setPolicy(&policy);
        QVERIFY(policy.isMissing());

        QQuickItem* tab = f.load(QStringLiteral("PauseTab.qml"), 360, 260);
        QVERIFY(tab);
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QVERIFY(f.find(QStringLiteral("policyNote"))->isVisible());
        // The popover takes the tab's implicit height: both buttons must lie inside it.
        f.window.resize(360, int(tab->implicitHeight()));
        QTRY_COMPARE(f.window.height(), int(tab->implicitHeight()));
        for (const QString& name :
            { QStringLiteral("installPolicyButton"), QStringLiteral("activateButton") }) {
            QQuickItem* button = f.find(name);
            const QRectF inScene = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
            QVERIFY2(QRectF(0, 0, f.window.width(), f.window.height()).contains(inScene), qPrintable(name));
        }
        f.window.grabWindow().save(screenshotDir() + QStringLiteral("/pause-tab-policy-missing.png"));

        f.click(QStringLiteral("installPolicyButton"));
        QTRY_COMPARE(f.text(QStringLiteral("policyErrorText")),
            QStringLiteral("Administrator rights were not given."));
        QVERIFY(policy.isMissing());

        f.click(QStringLiteral("installPolicyButton"));
        QTRY_VERIFY(!policy.isMissing());
        QVERIFY(!f.find(QStringLiteral("policyNote"))->isVisible());
        QVERIFY(policy.errorMessage().isEmpty());
        QFile installed(actions + QStringLiteral("/org.quorvane.trust-window.policy"));
        QVERIFY(installed.open(QIODevice::ReadOnly));
        QFile original(shipped);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(installed.readAll(), original.readAll());
        QCOMPARE(installed.permissions() & (QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());

        // An installation without its policy file says so instead of running a command.
        PresencePolicyState orphan(PresencePolicy(dir.filePath(QStringLiteral("elsewhere")),
                                       dir.filePath(QStringLiteral("missing.policy"))),
            runner);
        orphan.startInstall();
        QTRY_VERIFY(!orphan.errorMessage().isEmpty());
        QVERIFY(orphan.errorMessage().contains(QStringLiteral("no policy file")));
        QVERIFY(orphan.isMissing());
        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(QLatin1Char('\n'))));
    }

    // The banner's time and the times the back-end is sent.
    void bannerTimeText_data()
    {
        QTest::addColumn<qint64>("remainingMs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exactly an hour") << qint64(3600000) << QStringLiteral("60:00");
        QTest::newRow("one second less") << qint64(3599000) << QStringLiteral("59:59");
        QTest::newRow("part of a second counts as a whole one") << qint64(3599400) << QStringLiteral("60:00");
        QTest::newRow("twelve minutes") << qint64(725000) << QStringLiteral("12:05");
        QTest::newRow("nine seconds") << qint64(9000) << QStringLiteral("0:09");
        QTest::newRow("over") << qint64(0) << QStringLiteral("0:00");
        QTest::newRow("past the end") << qint64(-5000) << QStringLiteral("0:00");
    }

    void bannerTimeText()
    {
        QFETCH(qint64, remainingMs);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2026, 12, 5), QTime(14, 0), Qt::UTC);
        QCOMPARE(TrustWindowState::bannerTimeText(now, now.addMSecs(remainingMs)), expected);
    }

    // A 120-minute window started at 10:00 shows its end until 11:00, then counts.
    void bannerLongWindow()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QDateTime start(QDate(2026, 12, 5), QTime(10, 0), Qt::LocalTime);
        const QDateTime end = start.addSecs(7200);
        const QString endsText = TrustWindowState::bannerTimeText(start, end, us);
        QCOMPARE(endsText, QStringLiteral("ends ") + us.toString(QTime(12, 0), QLocale::ShortFormat));
        QCOMPARE(TrustWindowState::bannerTimeText(start.addSecs(3599), end, us), endsText);
        QCOMPARE(TrustWindowState::bannerTimeText(start.addSecs(3600), end, us), QStringLiteral("60:00"));
        QCOMPARE(TrustWindowState::bannerTimeText(start.addSecs(3601), end, us), QStringLiteral("59:59"));
        const QString evening = TrustWindowState::bannerTimeText(
            start, QDateTime(QDate(2026, 12, 5), QTime(17, 30), Qt::LocalTime), us);
        QVERIFY2(evening.startsWith(QLatin1String("ends 5:30")) && evening.endsWith(QLatin1String("PM")),
            qPrintable(evening));
    }

    void isoTimes_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("utc") << QDateTime(QDate(2026, 12, 5), QTime(14, 0), Qt::UTC)
                             << QStringLiteral("2026-12-05T14:00:00Z");
        QTest::newRow("offset becomes utc") << QDateTime(QDate(2026, 12, 5), QTime(15, 30), Qt::OffsetFromUTC,
            3600) << QStringLiteral("2026-12-05T14:30:00Z");
        QTest::newRow("milliseconds dropped") << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 678), Qt::UTC)
                                              << QStringLiteral("2026-01-02T03:04:05Z");
    }

    void isoTimes()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        QCOMPARE(TrustWindowState::isoTime(time), expected);
    }

    void banner()
    {
        Fixture f;
        TrustWindowState& s = *f.state;
        s.setSelectedDuration(60);
        QCoro::waitFor(s.activate());
        QVERIFY(s.showsBanner());

        QQuickItem* banner = f.load(QStringLiteral("TrustWindowBanner.qml"), 360, 40);
        QVERIFY(banner);
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.text(QStringLiteral("bannerTitle")), QStringLiteral("TRUST WINDOW"));
        QCOMPARE(f.text(QStringLiteral("bannerTime")), QStringLiteral("60:00"));
        f.window.grabWindow().save(screenshotDir() + QStringLiteral("/trust-banner.png"));

        // The banner's own timer refreshes the text.
        f.clock = f.clock.addSecs(1);
        QTRY_COMPARE(f.text(QStringLiteral("bannerTime")), QStringLiteral("59:59"));
        f.clock = f.clock.addSecs(10);
        QTRY_COMPARE(f.text(QStringLiteral("bannerTime")), QStringLiteral("59:49"));

        // "Cancel" asks the panel to close the window.
        const int index = banner->metaObject()->indexOfSignal("cancelRequested()");
        QVERIFY(index >= 0);
        QObject::connect(banner, banner->metaObject()->method(index), &s,
            s.metaObject()->method(s.metaObject()->indexOfMethod("startDeactivate()")));
        f.click(QStringLiteral("cancelButton"));
        QTRY_VERIFY(!s.isActive());
        QVERIFY(!s.showsBanner());

        QVERIFY2(f.guard.warnings().isEmpty(), qPrintable(f.guard.warnings().join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestTrustViews)
#include "tst_TrustViews.moc"
