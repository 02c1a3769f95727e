#include "app/shell/CommandLine.h"

#include "core/BuildConfig.h"

#include <QCoreApplication>
#include <cstring>

CommandLine::CommandLine()
    : m_reportReady(QStringLiteral("report-ready"),
        QStringLiteral("Print a line once the tray icon is shown, and each time the popover appears."))
    , m_showPending(QStringLiteral("show-pending"), QStringLiteral("Show the actions waiting for your decision."))
{
    // A hook for the tests, not something a person uses.
    m_reportReady.setFlags(QCommandLineOption::HiddenFromHelp);
    m_parser.setApplicationDescription(QStringLiteral("Quorvane companion"));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOption(m_reportReady);
    m_parser.addOption(m_showPending);
    m_parser.addPositionalArgument(
        QStringLiteral("url"), QStringLiteral("A quorvane: URL to open."), QStringLiteral("[url]"));
}

bool CommandLine::asksForTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : { "-h", "--help", "-?", "--help-all", "-v", "--version" }) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

void CommandLine::describeApplication()
{
    // Settings go to ~/.config/Quorvane/quorvane-app.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-app"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BuildConfig::version));
}

void CommandLine::process(const QCoreApplication& application)
{
    m_parser.process(application);
}

QList<QUrl> CommandLine::urls() const
{
    QList<QUrl> urls;
    for (const QString& argument : m_parser.positionalArguments()) {
        const QUrl url = QUrl::fromUserInput(argument);
        if (url.scheme() == QLatin1String("quorvane"))
            urls.append(url);
    }
    return urls;
}
