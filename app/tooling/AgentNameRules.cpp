#include "app/tooling/AgentNameRules.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

namespace {

bool isTrimmedCharacter(QChar character)
{
    return character == QLatin1Char(' ') || character == QLatin1Char('\n') || character == QLatin1Char('\r');
}

QString trimmedName(const QString& name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isTrimmedCharacter(name.at(begin)))
        ++begin;
    while (end > begin && isTrimmedCharacter(name.at(end - 1)))
        --end;
    return name.mid(begin, end - begin);
}

} // namespace

const QStringList& defaultAgentNames()
{
    static const QStringList names = {
        QStringLiteral("sirius"),   QStringLiteral("vega"),      QStringLiteral("rigel"),
        QStringLiteral("altair"),   QStringLiteral("deneb"),     QStringLiteral("polaris"),
        QStringLiteral("castor"),   QStringLiteral("pollux"),    QStringLiteral("antares"),
        QStringLiteral("spica"),    QStringLiteral("aldebaran"), QStringLiteral("canopus"),
        QStringLiteral("arcturus"), QStringLiteral("capella"),   QStringLiteral("procyon"),
        QStringLiteral("fomalhaut"), QStringLiteral("regulus"),  QStringLiteral("bellatrix"),
        QStringLiteral("mira"),     QStringLiteral("nova"),      QStringLiteral("pulsar"),
        QStringLiteral("quasar"),   QStringLiteral("nebula"),    QStringLiteral("zenith"),
        QStringLiteral("aurora"),   QStringLiteral("cosmos"),    QStringLiteral("solaris"),
        QStringLiteral("eclipse"),  QStringLiteral("comet"),     QStringLiteral("photon"),
    };
    return names;
}

QString randomDefaultAgentName()
{
    const QStringList& names = defaultAgentNames();
    return names.at(QRandomGenerator::global()->bounded(names.size()));
}

std::optional<QString> agentNameError(const QString& agentName)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-z0-9][a-z0-9-]{0,31}")));
    const QString name = trimmedName(agentName);
    if (name.isEmpty())
        return std::nullopt;
    if (name.contains(QLatin1Char(' ')))
        return QCoreApplication::translate("AgentNameRules", "Spaces are not allowed. Use hyphens instead.");
    if (!pattern.match(name).hasMatch())
        return QCoreApplication::translate(
            "AgentNameRules", "Use only lowercase letters, numbers, and hyphens (1–32 chars).");
    return std::nullopt;
}

QString baseAgentName(const QString& agentName)
{
    constexpr qsizetype maximumLength = 32;
    QString name;
    for (const QChar character : trimmedName(agentName).toLower()) {
        const char16_t unit = character == u' ' ? u'-' : character.unicode();
        if ((unit >= u'a' && unit <= u'z') || (unit >= u'0' && unit <= u'9') || unit == u'-')
            name.append(QChar(unit));
    }
    name.truncate(maximumLength);
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && name.at(begin) == u'-')
        ++begin;
    while (end > begin && name.at(end - 1) == u'-')
        --end;
    return name.mid(begin, end - begin);
}

bool canContinue(const QList<DetectedTool>& tools, const QString& agentName)
{
    const bool anyEnabled
        = std::any_of(tools.cbegin(), tools.cend(), [](const DetectedTool& tool) { return tool.enabled; });
    return anyEnabled && !agentNameError(agentName);
}
