#include "app/panel/ActionDetailState.h"
#include "app/panel/PanelPresentation.h"
#include "app/panel/PendingActionsModel.h"
#include "tests/app/panel/PanelTestActions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The riskiest part of a command is named over both risk vocabularies the
// back-end and the classifier use, and "Explain this request" neither spins
// for ever nor is offered when no explanation can come.
class TestRiskAndExplanation : public QObject
{
    Q_OBJECT

    static QString segmentsJson(const QStringList& risks)
    {
        QJsonArray segments;
        for (qsizetype index = 0; index < risks.size(); ++index)
            segments.append(QJsonObject { { QStringLiteral("segment"), QStringLiteral("part %1").arg(index) },
                { QStringLiteral("base_cmd"), QStringLiteral("cmd") },
                { QStringLiteral("risk"), risks.at(index) } });
        return QString::fromUtf8(QJsonDocument(segments).toJson(QJsonDocument::Compact));
    }

private Q_SLOTS:
    void riskiestPart_data()
    {
        QTest::addColumn<QStringList>("risks");
        QTest::addColumn<QString>("asked"); // empty: no part is named
        QTest::newRow("high after medium") << QStringList { QStringLiteral("low"), QStringLiteral("medium"),
            QStringLiteral("high") } << QStringLiteral("Asked because this part is high: part 2");
        QTest::newRow("high first") << QStringList { QStringLiteral("HIGH"), QStringLiteral("medium") }
                                    << QStringLiteral("Asked because this part is HIGH: part 0");
        QTest::newRow("ties to the first") << QStringList { QStringLiteral("medium"),
            QStringLiteral("medium") } << QStringLiteral("Asked because this part is medium: part 0");
        QTest::newRow("privileged over destructive") << QStringList {
            QStringLiteral("destructive"), QStringLiteral("privileged"), QStringLiteral("write")
        } << QStringLiteral("Asked because this part is privileged: part 1");
        QTest::newRow("unknown weighs least") << QStringList { QStringLiteral("odd"),
            QStringLiteral("write") } << QStringLiteral("Asked because this part is write: part 1");
        QTest::newRow("only low") << QStringList { QStringLiteral("low"), QStringLiteral("read") }
                                  << QString();
    }
    void riskiestPart()
    {
        QFETCH(QStringList, risks);
        QFETCH(QString, asked);
        PendingAction action = PanelTestActions::make(QStringLiteral("a"));
        action.toolInput.insert(QStringLiteral("detail_segments"), segmentsJson(risks));
        ActionDetailState detail;
        detail.setAction(action);
        QCOMPARE(detail.highestRiskText(), asked);
        // Low parts are shown faded, like reading ones.
        for (const QVariant& segment : detail.segments()) {
            const QVariantMap map = segment.toMap();
            const QString risk = map.value(QStringLiteral("risk")).toString();
            QCOMPARE(map.value(QStringLiteral("isRead")).toBool(),
                risk == QLatin1String("low") || risk == QLatin1String("read"));
        }
    }

    void scopeTextsArePlain()
    {
        PendingAction action = PanelTestActions::make(QStringLiteral("a"));
        ActionDetailState detail;
        detail.setAction(action);
        for (const QVariant& option : detail.scopeOptions()) {
            const QString covers = option.toMap().value(QStringLiteral("covers")).toString();
            QVERIFY2(covers.startsWith(QLatin1String("every Bash action")), qPrintable(covers));
            QVERIFY(!covers.contains(u'`'));
        }
    }

    void explanationWaitHasADeadline()
    {
        QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00Z"), Qt::ISODate);
        PendingActionsModel model;
        model.setClock([&now] { return now; });
        PendingAction withoutExplanation = PanelTestActions::make(QStringLiteral("a"));
        withoutExplanation.expiresAt = PanelTestActions::expiresIn(300, now);
        PendingAction withExplanation = PanelTestActions::make(QStringLiteral("b"));
        withExplanation.expiresAt = withoutExplanation.expiresAt;
        withExplanation.explanation = QStringLiteral("Removes the build folder.");
        model.setActions({ withoutExplanation, withExplanation });
        const auto mode = [&model](int row) {
            return model.index(row).data(PendingActionsModel::ExplanationModeRole).toString();
        };

        model.setShowExplanation(QStringLiteral("a"), true);
        QCOMPARE(mode(0), QStringLiteral("generating"));
        now = now.addSecs(PendingActionsModel::explanationDeadlineSeconds - 1);
        model.refreshCountdowns();
        QCOMPARE(mode(0), QStringLiteral("generating"));
        now = now.addSecs(1);
        model.refreshCountdowns();
        QCOMPARE(mode(0), QStringLiteral("unavailable"));

        // Without a source of explanations only an action carrying one offers it.
        model.setShowExplanation(QStringLiteral("a"), false);
        model.setExplanationsExpected(false);
        QCOMPARE(mode(0), QStringLiteral("none"));
        QCOMPARE(mode(1), QStringLiteral("button"));
        model.setShowExplanation(QStringLiteral("b"), true);
        QCOMPARE(mode(1), QStringLiteral("lines"));
    }
};

QTEST_GUILESS_MAIN(TestRiskAndExplanation)
#include "tst_RiskAndExplanation.moc"
