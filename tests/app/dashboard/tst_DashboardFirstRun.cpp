#include "app/style/QuorvaneStyle.h"
#include "core/UpdateCheckService.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/StandInRuntime.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

// The dashboard after a first run: it names the companion's own version,
// offers no "Update" to a package installation, and offers the local model's
// runtime that the wizard left out (or says why it cannot).
class TestDashboardFirstRun : public HomeStateTestCase
{
    Q_OBJECT

    struct View
    {
        QmlWarningGuard guard;
        QQmlEngine engine;
        QQuickWindow window;
        std::unique_ptr<QObject> root;

        bool load(HomeState& home)
        {
            QmlWarningGuard::prepare(engine);
            window.setColor(QuorvaneStyle::windowBackground());
            window.resize(540, 680);
            QQmlComponent component(
                &engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Dashboard/DashboardView.qml")));
            if (!component.isReady()) {
                qWarning().noquote() << component.errorString();
                return false;
            }
            root.reset(component.createWithInitialProperties(
                { { QStringLiteral("home"), QVariant::fromValue(&home) } }));
            auto* item = qobject_cast<QQuickItem*>(root.get());
            if (!item) {
                qWarning().noquote() << component.errorString();
                return false;
            }
            item->setSize(QSizeF(540, 680));
            item->setParentItem(window.contentItem());
            window.show();
            return QTest::qWaitForWindowExposed(&window);
        }
        bool isShown(const QString& name) const
        {
            return !QmlItems::visible(window.contentItem(), name).isEmpty();
        }
        QString text(const QString& name) const
        {
            QQuickItem* item = QmlItems::find(window.contentItem(), name);
            return item ? item->property("text").toString() : QString();
        }
        QString subtitle(const QString& name) const
        {
            QQuickItem* item = QmlItems::find(window.contentItem(), name);
            return item ? item->property("subtitle").toString() : QString();
        }
    };

private Q_SLOTS:
    void packageInstallationGetsNoUpdateButton()
    {
        Fixture f;
        LoopbackHttpServer releases;
        QVERIFY(releases.listen());
        releases.setResponse(QStringLiteral("/releases/latest"),
            { "200 OK", "{\"version\":\"999.0.0\",\"url\":\"https://releases.quorvane.com/Q.tar.gz\"}" });
        qputenv("QUORVANE_API_BASE_URL", releases.origin().toUtf8());
        UpdateCheckService updates(&f.network);
        updates.setInstallPrefix(f.dir.path());
        f.state->setUpdates(&updates);
        View v;
        QVERIFY(v.load(*f.state));
        // The header names the companion's own version.
        QCOMPARE(v.text(QStringLiteral("appVersion")), QStringLiteral("v") + updates.ownVersion());

        updates.start(QStringLiteral("1.0.0"), {});
        QTRY_COMPARE(updates.availableVersion(), QStringLiteral("999.0.0"));
        QTRY_VERIFY(v.isShown(QStringLiteral("updateButton")));
        // Installed by the package manager: the banner says so, and offers no "Update".
        updates.setInstallPrefix(QStringLiteral("/usr"));
        QVERIFY(updates.isPackageManaged());
        QTRY_VERIFY(!v.isShown(QStringLiteral("updateButton")));
        QVERIFY(v.isShown(QStringLiteral("dashboardUpdateBanner")));
        QVERIFY(v.text(QStringLiteral("updateBannerText")).contains(QLatin1String("package manager")));
        f.state->setUpdates(nullptr);
    }

    void runtimeLeftOutIsOfferedLater()
    {
        Fixture f;
        // The wizard could not reach the runtime's archive; nor can the dashboard.
        const quint16 closed = StandInRuntime::freePort();
        f.dependencies.setMachineArchitecture(QStringLiteral("x86_64"));
        f.dependencies.setInstallPrefix(f.dir.filePath(QStringLiteral("prefix")));
        f.dependencies.setOllamaArchiveURL(
            QUrl(QStringLiteral("http://127.0.0.1:%1/ollama.tgz").arg(closed)));
        f.dependencies.setOllamaArchiveSHA256(QString(64, u'a'));
        View v;
        QVERIFY(v.load(*f.state));
        QTRY_VERIFY(v.isShown(QStringLiteral("installRuntimeButton")));
        QVERIFY(!v.isShown(QStringLiteral("modelNotInstalled")));

        ModelRuntimeState& runtime = f.state->modelRuntime();
        QCoro::waitFor(runtime.runRuntimeInstall());
        QVERIFY(!runtime.runtimeError().isEmpty());
        QTRY_COMPARE(v.subtitle(QStringLiteral("modelText")), runtime.runtimeError());
        QVERIFY(v.isShown(QStringLiteral("installRuntimeButton")));

        // A build that pins no digest says why instead of offering it.
        f.dependencies.setOllamaArchiveSHA256(QString());
        HomeState other(f.cli, f.dependencies, f.auth, f.network, f.settings, &f.wizard);
        View plain;
        QVERIFY(plain.load(other));
        QTRY_VERIFY(plain.isShown(QStringLiteral("modelNotInstalled")));
        QVERIFY(!plain.isShown(QStringLiteral("installRuntimeButton")));
        QVERIFY(plain.subtitle(QStringLiteral("modelText")).contains(QLatin1String("pins no digest")));
    }
};

QTEST_MAIN(TestDashboardFirstRun)
#include "tst_DashboardFirstRun.moc"
