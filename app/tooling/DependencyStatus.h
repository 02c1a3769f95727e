#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

// The state of one installation step as the install screen shows it.
class DependencyStatus
{
    Q_GADGET
    QML_VALUE_TYPE(dependencyStatus)
    Q_PROPERTY(Kind kind READ kind CONSTANT)
    Q_PROPERTY(double fraction READ fraction CONSTANT)
    Q_PROPERTY(QString message READ message CONSTANT)
    // The fraction as a whole percentage with "%".
    Q_PROPERTY(QString percentText READ percentText CONSTANT)
public:
    enum class Kind {
        missing,          // not installed and not started
        downloading,      // a download runs; fraction() from 0.0 to 1.0
        installing,       // being unpacked or installed
        awaitingApproval, // only drawn; nothing sets it
        installed,        // done
        failed,           // message() is the text shown
        skipped,          // only drawn; nothing sets it
    };
    Q_ENUM(Kind)

    DependencyStatus() = default;
    static DependencyStatus missing() { return DependencyStatus(Kind::missing); }
    static DependencyStatus downloading(double fraction);
    static DependencyStatus installing() { return DependencyStatus(Kind::installing); }
    static DependencyStatus awaitingApproval() { return DependencyStatus(Kind::awaitingApproval); }
    static DependencyStatus installed() { return DependencyStatus(Kind::installed); }
    static DependencyStatus failed(const QString& message);
    static DependencyStatus skipped() { return DependencyStatus(Kind::skipped); }

    Kind kind() const { return m_kind; }
    double fraction() const { return m_fraction; }
    QString message() const { return m_message; }
    QString percentText() const;

    bool operator==(const DependencyStatus& other) const = default;

private:
    explicit DependencyStatus(Kind kind) : m_kind(kind) {}

    Kind m_kind = Kind::missing;
    double m_fraction = 0.0;
    QString m_message;
};

Q_DECLARE_METATYPE(DependencyStatus)
