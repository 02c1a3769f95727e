#pragma once

#include <QObject>

// A model download running elsewhere (the wizard's ModelDownload), as the
// dashboard mirrors it: whether it runs, whether it has finished, and its
// fraction. Implementers emit the change signals on the main thread after
// every change.
class ModelDownloadProgressSource : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool llmDownloading READ llmDownloading NOTIFY llmDownloadingChanged)
    Q_PROPERTY(bool llmDownloadComplete READ llmDownloadComplete NOTIFY llmDownloadCompleteChanged)
    Q_PROPERTY(double llmDownloadProgress READ llmDownloadProgress NOTIFY llmDownloadProgressChanged)

public:
    using QObject::QObject;

    virtual bool llmDownloading() const = 0;
    virtual bool llmDownloadComplete() const = 0;
    virtual double llmDownloadProgress() const = 0;

Q_SIGNALS:
    void llmDownloadingChanged();
    void llmDownloadCompleteChanged();
    void llmDownloadProgressChanged();
};
