#pragma once

#include "app/panel/ApprovalsPanel.h"
#include "app/trust/PresenceConfirmation.h"
#include "app/trust/TrustWindowState.h"
#include "core/ApprovalSyncService.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "core/UpdateCheckService.h"
#include "platform/FileCredentialStore.h"
#include "platform/StandInPresenceConfirmer.h"
#include "tests/app/panel/PanelTestActions.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QCoroTask>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <optional>

// A registered machine against the reference back-end (which also serves a
// release folder), with the real sync, update and trust-window services
// writing their receipts, and the panel on top. The panel's clock is fixed
// unless a test moves it.
struct PanelFixture
{
    TestHome home;
    QTemporaryDir releases;
    BackendProcess backend { { u"--releases"_qs, releases.path() } };
    FileCredentialStore store;
    std::optional<TestMachine> machine;
    MachineAuthService auth { store };
    QNetworkAccessManager network;
    StandInPresenceConfirmer confirmer { StandInPresenceConfirmer::Outcome::Grant };
    PresenceConfirmation biometric { confirmer };
    // The panel's clock: the wall clock at the start, whole seconds, then
    // fixed (tests move it to let actions expire for the panel while the
    // back-end still lists them).
    QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    ReceiptLog receipts { home.filePath(u"receipts.jsonl"_qs) };
    std::unique_ptr<ApprovalSyncService> sync;
    std::unique_ptr<UpdateCheckService> updates;
    std::unique_ptr<TrustWindowState> trust;
    std::unique_ptr<ApprovalsPanel> panel;

    // policy: the trust window's polkit policy state, if a test watches one.
    explicit PanelFixture(QObject* policy = nullptr)
    {
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        machine = TestMachine::provision(backend, store);
        auth.reload();
        sync = std::make_unique<ApprovalSyncService>(auth, &receipts);
        sync->setPollInterval(60 * 60 * 1000);
        updates = std::make_unique<UpdateCheckService>(&network);
        updates->setCheckInterval(std::chrono::hours(1));
        trust = std::make_unique<TrustWindowState>(
            auth, network, biometric, sync.get(), &receipts, policy, [this] { return now; });
        panel = std::make_unique<ApprovalsPanel>(*sync, *updates, *trust);
        panel->setClock([this] { return now; });
    }
    ~PanelFixture() { qunsetenv("QUORVANE_API_BASE_URL"); }

    bool ready() const { return backend.isRunning() && machine.has_value(); }

    // Stores the action on the back-end without announcing it (a back-end that
    // did not start says why).
    bool add(const PendingAction& action)
    {
        if (!ready()) {
            qWarning("%s", qPrintable(backend.lastError()));
            return false;
        }
        QJsonObject json = PanelTestActions::toJson(action);
        json.insert(u"notify"_qs, false);
        return backend.addAction(json).value(u"id"_qs).toString() == action.id;
    }

    // An action that expires `seconds` after the panel's clock.
    PendingAction action(const QString& id, const QString& toolName = u"Bash"_qs, double seconds = 300)
    {
        PendingAction pending = PanelTestActions::make(id, toolName);
        pending.expiresAt = PanelTestActions::expiresIn(seconds, now);
        return pending;
    }

    // Fetches the list now, as a push would, and waits for it to hold `count`.
    bool fetch(int count)
    {
        sync->fetchPendingFromPush();
        return QTest::qWaitFor([&] { return int(sync->pendingActions().size()) == count; }, 10000);
    }
    // Adds new actions and waits until the list holds them too.
    bool addAll(const QList<PendingAction>& actions)
    {
        const int count = int(sync->pendingActions().size() + actions.size());
        return std::all_of(actions.begin(), actions.end(), [this](const auto& a) { return add(a); })
            && fetch(count);
    }
    bool addIds(const QStringList& ids)
    {
        QList<PendingAction> actions;
        for (const QString& id : ids)
            actions << action(id);
        return addAll(actions);
    }

    // The bodies of the decisions the back-end received for an action, without
    // the leading "action_id" member when it names this action.
    QStringList decisionBodies(const QString& id)
    {
        QStringList bodies;
        const QString naming = u"{\"action_id\":\"%1\","_qs.arg(id);
        for (const QJsonObject& request : requestsTo(u"/approvals/%1/respond"_qs.arg(id))) {
            const QString body = request.value(u"body").toString();
            bodies << (body.startsWith(naming) ? u'{' + body.mid(naming.size()) : body);
        }
        return bodies;
    }
    // The requests the back-end received for that target, oldest first.
    QList<QJsonObject> requestsTo(const QString& target)
    {
        QList<QJsonObject> found;
        for (const QJsonValue& request : backend.requests()) {
            if (request.toObject().value(u"target").toString() == target)
                found << request.toObject();
        }
        return found;
    }

    // The receipts of one action, oldest first.
    QList<Receipt> receiptsOf(const QString& id) const
    {
        QList<Receipt> found;
        for (const Receipt& receipt : receipts.readAll()) {
            if (receipt.actionId == id)
                found.prepend(receipt);
        }
        return found;
    }

    QString backendStatus(const QString& id) { return backend.actionStatus(id).value(u"status").toString(); }

    // Announces a release the update check will find newer than 1.0.0.
    bool publishRelease(const QString& version)
    {
        const QString archive = u"Quorvane-%1.tar.gz"_qs.arg(version);
        const QJsonObject json { { u"version"_qs, version },
            { u"url"_qs, backend.url(u"/releases/files/"_qs + archive).toString() },
            { u"sha256"_qs, QString(64, QLatin1Char('a')) } };
        return TestFiles::write(releases.filePath(u"latest.json"_qs), QJsonDocument(json).toJson(), 0644)
            && TestFiles::write(releases.filePath(archive), QByteArray(64 * 1024, 'x'), 0644);
    }
};
