#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "platform/FileCredentialStore.h"
#include "app/dashboard/HomeState.h"
#include "core/MachineAuthService.h"
#include "app/dashboard/ModelDownloadProgressSource.h"
#include "tests/support/TestHome.h"
#include "app/wizard/WizardState.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <qcorotask.h>

// The dashboard following the real wizard model's download through the adapter
// that the window manager puts between them.
class TestHomeStateWizard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void followsTheWizardModel_data()
    {
        QTest::addColumn<bool>("completes");
        QTest::newRow("download completes") << true;
        QTest::newRow("download fails") << false;
    }
    void followsTheWizardModel()
    {
        QFETCH(bool, completes);
        TestHome home;
        QTemporaryDir dir;
        FileCredentialStore store;
        MachineAuthService auth(store);
        QNetworkAccessManager network;
        CLIService cli;
        DependencyService dependencies(&network, &cli);
        dependencies.setKnownPaths({dir.path()});
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        WizardState wizard;
        auto* source = new ModelDownloadProgressAdapter<WizardState>(&wizard);
        QCOMPARE(source->parent(), &wizard);
        HomeState state(cli, dependencies, auth, network, settings, source);

        // As the wizard's download starts: downloading, progress 0, not complete.
        wizard.setLlmDownloading(true);
        wizard.setLlmDownloadProgress(0.25);
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(state.modelRuntime().llmInstalling());
        QVERIFY(state.modelRuntime().ollamaInstalled());
        QCOMPARE(state.modelRuntime().llmProgress(), 0.25);
        QCOMPARE(source->property("llmDownloadProgress").toDouble(), 0.25);

        wizard.setLlmDownloadProgress(0.75);
        QCOMPARE(state.modelRuntime().llmProgress(), 0.75);
        if (completes) {
            // The wizard sets complete first, then ends "downloading".
            wizard.setLlmDownloadComplete(true);
            wizard.setLlmDownloading(false);
        } else {
            wizard.setLlmDownloading(false);
        }
        QVERIFY(!state.modelRuntime().llmInstalling());
        QCOMPARE(state.modelRuntime().gemmaInstalled(), completes);
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
    }
};

QTEST_GUILESS_MAIN(TestHomeStateWizard)
#include "tst_HomeStateWizard.moc"
