#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

class UpdateCheckService;

// The update banner of the panel, read from the update service: shown when a
// newer version and its download address are known; a progress bar while
// updating, else the last error, else "vX available" with an "Update" button
// (or, for a package installation, the advice to use the package manager).
class UpdateBannerState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")

    Q_PROPERTY(bool visible READ isVisible NOTIFY changed)
    // "progress", "error", "available" or "managed" (a package installation:
    // the package manager updates it, so the banner offers no "Update").
    Q_PROPERTY(QString mode READ mode NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)
    Q_PROPERTY(QString percentText READ percentText NOTIFY changed)
    Q_PROPERTY(QString errorText READ errorText NOTIFY changed)
    Q_PROPERTY(QString availableText READ availableText NOTIFY changed)

public:
    explicit UpdateBannerState(UpdateCheckService& updates, QObject* parent = nullptr);

    bool isVisible() const;
    QString mode() const;
    double progress() const;
    QString percentText() const;
    QString errorText() const;
    QString availableText() const;

    // The banner's "Update" button.
    Q_INVOKABLE void update();

Q_SIGNALS:
    void changed();

private:
    QPointer<UpdateCheckService> m_updates;
};
