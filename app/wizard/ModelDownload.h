#pragma once

#include "app/tooling/ModelDownloadProgressSource.h"
#include "core/ProgressPercent.h"

#include <QPointer>

#include <QCoroTask>

#include <memory>
#include <QtQmlIntegration/qqmlintegration.h>

class CLIProcess;
class CLIService;
struct CLIEvent;

// The local model's download that the install phase starts in the background
// ("download-model"): it outlives the install screen, the set-up run and the
// wizard window, and the dashboard follows it while it runs.
class ModelDownload final : public ModelDownloadProgressSource
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the install phase")
    // The progress as a whole percentage with "%".
    Q_PROPERTY(QString progressText READ progressText NOTIFY llmDownloadProgressChanged)

public:
    explicit ModelDownload(QObject* parent) : ModelDownloadProgressSource(parent) {}

    bool llmDownloading() const override { return m_downloading; }
    bool llmDownloadComplete() const override { return m_complete; }
    double llmDownloadProgress() const override { return m_progress; }
    QString progressText() const { return ProgressPercent::text(m_progress); }
    // The running download's process; null when none runs.
    const std::shared_ptr<CLIProcess>& process() const { return m_process; }

    // Starts the download (without a product tool it only shows as started).
    QCoro::Task<> start(QPointer<CLIService> cli);
    // Terminates the download; it no longer shows as running.
    void stop();

private:
    friend struct WizardTestAccess;
    void applyEvent(const CLIEvent& event);
    void setDownloading(bool value);
    void setComplete(bool value);
    void setProgress(double value);

    bool m_downloading = false;
    bool m_complete = false;
    double m_progress = 0.0; // 0 to 1
    std::shared_ptr<CLIProcess> m_process;
};
