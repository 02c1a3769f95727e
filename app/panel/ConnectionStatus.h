#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQmlIntegration/qqmlintegration.h>

class ApprovalSyncService;

// Whether the program reaches the back-end, as one line for the popover's
// header and the tray's tooltip: "Offline — retrying in N s" while neither
// the poll nor the stream gets through (the reason in `detail`), then
// "Back online" for a few seconds, else nothing.
class ConnectionStatus : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")
    Q_PROPERTY(QString text READ text NOTIFY changed)
    Q_PROPERTY(QString detail READ detail NOTIFY changed)
    Q_PROPERTY(bool isOffline READ isOffline NOTIFY changed)

public:
    static constexpr int backOnlineShownMs = 5000;

    explicit ConnectionStatus(ApprovalSyncService& sync, QObject* parent = nullptr);

    QString text() const;
    QString detail() const;
    bool isOffline() const;

Q_SIGNALS:
    void changed();

private:
    void onOfflineChanged(bool offline);

    ApprovalSyncService& m_sync;
    QTimer m_countdown; // re-tells the seconds while offline
    QTimer m_backOnline;
};
