#pragma once

#include <QObject>
#include <QPointer>

// A model download running elsewhere (the wizard's), as the dashboard mirrors
// it: whether it runs, whether it has finished, and its fraction. Implementers
// emit the change signals on the main thread after every change.
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

// Presents any model that has these three values and their argument-less
// change signals (WizardState does) as a ModelDownloadProgressSource, without
// the model knowing about the dashboard. Lives as the model's child by
// default; once the model is gone it reports no download.
template <typename Model>
class ModelDownloadProgressAdapter final : public ModelDownloadProgressSource
{
public:
    explicit ModelDownloadProgressAdapter(Model* model, QObject* parent = nullptr)
        : ModelDownloadProgressSource(parent ? parent : model), m_model(model)
    {
        connect(model, &Model::llmDownloadingChanged, this, &ModelDownloadProgressSource::llmDownloadingChanged);
        connect(model, &Model::llmDownloadCompleteChanged, this,
                &ModelDownloadProgressSource::llmDownloadCompleteChanged);
        connect(model, &Model::llmDownloadProgressChanged, this,
                &ModelDownloadProgressSource::llmDownloadProgressChanged);
    }

    bool llmDownloading() const override { return m_model && m_model->llmDownloading(); }
    bool llmDownloadComplete() const override { return m_model && m_model->llmDownloadComplete(); }
    double llmDownloadProgress() const override { return m_model ? m_model->llmDownloadProgress() : 0.0; }

private:
    QPointer<Model> m_model;
};
