#include "core/UserEvent.h"

#include <QTest>

class TestUserEvent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framesMapToEvents_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("decoded");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("active");

        using K = UserEvent::Kind;
        QTest::newRow("action") << QStringLiteral("{\"type\":\"action_pending\",\"actionId\":\"a-1\"}") << true
                                << int(K::actionPending) << QStringLiteral("a-1") << false;
        QTest::newRow("action without id") << QStringLiteral("{\"type\":\"action_pending\"}") << true
                                           << int(K::actionPending) << QString() << false;
        QTest::newRow("action id of another type") << QStringLiteral("{\"type\":\"action_pending\",\"actionId\":7}")
                                                   << true << int(K::actionPending) << QString() << false;
        QTest::newRow("snake-case id is not read") << QStringLiteral("{\"type\":\"action_pending\",\"action_id\":\"x\"}")
                                                   << true << int(K::actionPending) << QString() << false;
        QTest::newRow("rules") << QStringLiteral("{\"type\":\"rules_changed\",\"version\":\"v9\",\"extra\":[1]}") << true
                               << int(K::rulesChanged) << QStringLiteral("v9") << false;
        QTest::newRow("trust on") << QStringLiteral("{\"type\":\"trust_window_changed\",\"active\":true}") << true
                                  << int(K::trustWindowChanged) << QString() << true;
        QTest::newRow("trust as text") << QStringLiteral("{\"type\":\"trust_window_changed\",\"active\":\"yes\"}")
                                       << true << int(K::trustWindowChanged) << QString() << false;
        QTest::newRow("trust missing") << QStringLiteral("{\"type\":\"trust_window_changed\"}") << true
                                       << int(K::trustWindowChanged) << QString() << false;
        const QString other = QStringLiteral("{\"type\":\"hello\", \"n\":1}");
        QTest::newRow("unknown keeps raw") << other << true << int(K::unknown) << other << false;
        QTest::newRow("array") << QStringLiteral("[{\"type\":\"action_pending\"}]") << false << 0 << QString() << false;
        QTest::newRow("plain text") << QStringLiteral("ping") << false << 0 << QString() << false;
        QTest::newRow("type not text") << QStringLiteral("{\"type\":1}") << false << 0 << QString() << false;
        QTest::newRow("no type") << QStringLiteral("{\"actionId\":\"a\"}") << false << 0 << QString() << false;
        QTest::newRow("truncated") << QStringLiteral("{\"type\":\"action_pen") << false << 0 << QString() << false;
        QTest::newRow("empty") << QString() << false << 0 << QString() << false;
        QTest::newRow("deep nesting") << QString(QStringLiteral("[").repeated(100000)) << false << 0 << QString()
                                      << false;
    }
    void framesMapToEvents()
    {
        QFETCH(QString, frame);
        QFETCH(bool, decoded);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, active);

        const std::optional<UserEvent> event = UserEvent::fromFrame(frame);
        QCOMPARE(event.has_value(), decoded);
        if (!event)
            return;
        QCOMPARE(int(event->kind), kind);
        QCOMPARE(event->active, active);
        switch (event->kind) {
        case UserEvent::Kind::actionPending:
            QCOMPARE(event->actionId, text);
            break;
        case UserEvent::Kind::rulesChanged:
            QCOMPARE(event->version, text);
            break;
        case UserEvent::Kind::unknown:
            QCOMPARE(event->raw, text);
            break;
        case UserEvent::Kind::trustWindowChanged:
            break;
        }
    }
};

QTEST_GUILESS_MAIN(TestUserEvent)
#include "tst_UserEvent.moc"
