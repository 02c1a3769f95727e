// Scrolling the tray popover's approvals list with 1,000 pending actions: the
// real panel view, made by the application's view factory, in a 360x520
// window (or the height given as the only argument; 0 for the panel's own
// height), offscreen, with Qt Quick's software renderer as the application
// uses it. The panel is fed by the real sync service from the reference
// back-end. The list is scrolled from top to bottom and back in 40 px steps,
// with a jump of several screens now and then, one rendered frame per step.
// Printed per run: the time to the first frame and the frame-to-frame times
// (median, p99, max, frames over 16.7 ms). The second run keeps the panel's
// 1-second countdown ticker going during the scroll, as it does while the
// popover is shown. Figures only; nothing is asserted. Run from build/bin.
#include "tests/app/panel/PanelFixture.h"
#include "tests/support/QmlTestSupport.h"
#include "app/views/ViewFactory.h"
#include "app/views/ViewsLibrary.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>

#include <QCoroSignal>
#include <QCoroTask>
#include <QCoroTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr int actionCount = 1000;
constexpr int windowWidth = 360;
constexpr int defaultWindowHeight = 520;
constexpr qreal flickStep = 40;    // pixels per frame, as a steady flick moves
constexpr int framesBetweenJumps = 400;
constexpr qreal jumpScreens = 6;   // a jump moves this many list heights
constexpr double frameBudgetMs = 16.7;
constexpr auto frameTimeout = std::chrono::seconds(5);

// Varied rows: shell commands with segments, file edits and reads, fetches,
// MCP tools with an explanation, now and then an agent asking to be removed.
PendingAction makeAction(PanelFixture& fixture, int i)
{
    const QString n = QString::number(i);
    // Between 10 and 60 minutes, so that nothing expires during the run.
    const double seconds = 600 + (i * 37) % 3000;
    PendingAction action;
    switch (i % 6) {
    case 0:
        action = fixture.action(QStringLiteral("bash-") + n, QStringLiteral("Bash"), seconds);
        action.classification = QStringLiteral("destructive");
        action.toolInput = {
            {QStringLiteral("command"), QStringLiteral("cd ~/projects/site-%1 && rm -rf dist node_modules").arg(n)},
            {QStringLiteral("detail_segments"),
             QStringLiteral("[{\"segment\":\"cd ~/projects/site-%1\",\"base_cmd\":\"cd\",\"risk\":\"read\"},"
                            "{\"segment\":\"rm -rf dist node_modules\",\"base_cmd\":\"rm\","
                            "\"risk\":\"destructive\"}]")
                 .arg(n)}};
        break;
    case 1:
        action = fixture.action(QStringLiteral("edit-") + n, QStringLiteral("Edit"), seconds);
        action.classification = QStringLiteral("write");
        action.toolInput = {{QStringLiteral("file_path"), QStringLiteral("/home/dev/project/src/module%1.ts").arg(n)},
                            {QStringLiteral("summary"),
                             QStringLiteral("Edit module %1: rename the exported handler").arg(n)}};
        break;
    case 2:
        action = fixture.action(QStringLiteral("mcp-") + n, QStringLiteral("mcp__github__create_issue"), seconds);
        action.classification.reset();
        action.toolInput = {{QStringLiteral("title"), QStringLiteral("Build %1 fails on main").arg(n)}};
        action.explanation = QStringLiteral("Opens an issue in the team's repository.\nNothing else changes.");
        break;
    case 3:
        action = fixture.action(QStringLiteral("fetch-") + n, QStringLiteral("WebFetch"), seconds);
        action.classification = QStringLiteral("Network");
        action.toolInput = {{QStringLiteral("url"), QStringLiteral("https://example.com/docs/page-%1").arg(n)}};
        action.toolInputSummary = QStringLiteral("Fetch documentation page %1").arg(n);
        break;
    case 4:
        action = fixture.action(QStringLiteral("read-") + n, QStringLiteral("Read"), seconds);
        action.classification = QStringLiteral("read");
        action.agentMachine.reset();
        action.toolInput = {
            {QStringLiteral("file_path"), QStringLiteral("/home/dev/.config/app-%1/settings.json").arg(n)}};
        break;
    default:
        if (i % 60 == 5) {
            action = fixture.action(QStringLiteral("unregister-") + n, PendingAction::unregisterToolName, seconds);
            action.agentName = QStringLiteral("openclaw-%1").arg(n);
            action.classification = QStringLiteral("agent");
            action.toolInput = {{QStringLiteral("summary"), QStringLiteral("Unregister agent openclaw-%1").arg(n)}};
        } else {
            action = fixture.action(QStringLiteral("shell-") + n, QStringLiteral("Bash"), seconds);
            action.classification = QStringLiteral("bash");
            action.toolInput = {{QStringLiteral("command"), QStringLiteral("git push origin feature/%1").arg(n)}};
        }
        break;
    }
    if (action.toolName != PendingAction::unregisterToolName)
        action.agentName = QStringLiteral("claude-code · project-%1").arg(i % 7);
    action.machineAgentCount = 1 + i % 3;
    return action;
}

struct Frame
{
    qreal y = 0;         // the list's position drawn in this frame
    double totalMs = 0;  // from the previous frame's swap to this one's
    double scrollMs = 0; // of which moving the list (the ListView makes and places delegates right away)
    bool jump = false;
    bool tick = false;   // a countdown refresh ran since the previous frame
};

struct Summary
{
    size_t count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
    size_t overBudget = 0;
};

Summary summarise(std::vector<double> values)
{
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const auto at = [&](double p) {
        return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
    };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = values.back();
    s.overBudget = size_t(std::count_if(values.begin(), values.end(), [](double v) { return v > frameBudgetMs; }));
    return s;
}

template<typename Pick>
std::vector<double> select(const std::vector<Frame>& frames, Pick pick, bool (*keep)(const Frame&) = nullptr)
{
    std::vector<double> values;
    for (const Frame& frame : frames) {
        if (!keep || keep(frame))
            values.push_back(pick(frame));
    }
    return values;
}

void printSummary(const char* label, const Summary& s)
{
    std::printf("  %-22s %5zu frames: median %6.2f ms, p99 %6.2f ms, max %6.2f ms, %zu over %.1f ms\n", label,
                s.count, s.median, s.p99, s.max, s.overBudget, frameBudgetMs);
}

// One opening of the popover and a full scroll down and up. The window and
// its engine are made for the run by the application's view factory, as the
// popover makes them each time it opens.
QCoro::Task<bool> scrollRun(PanelFixture& fixture, int windowHeight, bool tickerRunning)
{
    ApprovalsPanel& panel = *fixture.panel;
    panel.setShown(tickerRunning);
    if (panel.isTickerRunning() != tickerRunning) {
        std::fprintf(stderr, "the countdown ticker did not %s\n", tickerRunning ? "start" : "stay off");
        co_return false;
    }

    // Declared before the window, whose signals write them.
    qint64 lastSwapNs = 0;
    int ticks = 0;
    bool tickedSinceSwap = false;

    QElapsedTimer clock;
    clock.start();
    QmlWarningGuard warnings;
    ViewFactory* views = ViewsLibrary::factory();
    if (!views) {
        std::fprintf(stderr, "the views library did not load from %s\n", qPrintable(ViewsLibrary::path()));
        co_return false;
    }
    const ViewFactory::View made =
        views->createView(ApprovalsPanel::viewUrl(), {{QStringLiteral("panel"), QVariant::fromValue(&panel)}});
    std::unique_ptr<QWindow> window(made.window);
    auto* quickView = qobject_cast<QQuickView*>(made.window);
    if (!made.errorString.isEmpty() || !quickView || !quickView->rootObject()) {
        std::fprintf(stderr, "the panel did not load: %s\n", qPrintable(made.errorString));
        co_return false;
    }
    QQuickView& view = *quickView;
    // The popover opens at the panel's own height; 0 asks for that.
    const int ownHeight = made.implicitSize.height();
    view.resize(windowWidth, windowHeight > 0 ? windowHeight : ownHeight);

    // Swap times are taken in the signal itself; the coroutine resumes a turn
    // of the event loop later, so the gap between two swaps holds everything
    // the program did in between (countdown ticks included).
    QObject::connect(&view, &QQuickWindow::frameSwapped, &view, [&] { lastSwapNs = clock.nsecsElapsed(); });
    const QList<int> countdownRoles = PendingActionsModel::countdownRoles();
    QObject::connect(panel.actions(), &QAbstractItemModel::dataChanged, &view,
                     [&](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                         if (roles == countdownRoles) {
                             ++ticks;
                             tickedSinceSwap = true;
                         }
                     });

    view.show();
    if (!co_await qCoro(&view, &QQuickWindow::frameSwapped, frameTimeout)) {
        std::fprintf(stderr, "the first frame never came\n");
        co_return false;
    }
    const double firstFrameMs = double(lastSwapNs) / 1e6;

    // Let the content's fade-in end before measuring.
    co_await QCoro::sleepFor(std::chrono::milliseconds(400));
    auto* list = view.rootObject()->findChild<QQuickItem*>(QStringLiteral("pendingList"));
    if (!list || list->property("count").toInt() != actionCount) {
        std::fprintf(stderr, "no list of %d rows in the panel\n", actionCount);
        co_return false;
    }

    const auto top = [&] { return list->property("originY").toReal() - list->property("topMargin").toReal(); };
    const auto bottom = [&] {
        return list->property("originY").toReal() + list->property("contentHeight").toReal()
               + list->property("bottomMargin").toReal() - list->height();
    };

    // One frame at rest, so that the first step is timed from a swap rather
    // than from the end of the wait above.
    view.update();
    if (!co_await qCoro(&view, &QQuickWindow::frameSwapped, frameTimeout)) {
        std::fprintf(stderr, "no frame at rest\n");
        co_return false;
    }
    std::vector<Frame> frames;
    ticks = 0;
    tickedSinceSwap = false;
    for (const int direction : {+1, -1}) {
        for (int step = 1;; ++step) {
            const qreal y = list->property("contentY").toReal();
            // The ListView estimates the content height from the rows made so
            // far, so the ends are read again at every step.
            const qreal end = direction > 0 ? bottom() : top();
            if ((direction > 0 && y >= end) || (direction < 0 && y <= end))
                break;
            Frame frame;
            frame.jump = step % framesBetweenJumps == 0;
            const qreal distance = frame.jump ? jumpScreens * list->height() : flickStep;
            const qreal target = direction > 0 ? std::min(y + direction * distance, end)
                                               : std::max(y + direction * distance, end);
            frame.y = target;
            const qint64 previousSwap = lastSwapNs;
            const qint64 scrollStart = clock.nsecsElapsed();
            list->setProperty("contentY", target);
            frame.scrollMs = double(clock.nsecsElapsed() - scrollStart) / 1e6;
            view.update();
            if (!co_await qCoro(&view, &QQuickWindow::frameSwapped, frameTimeout)) {
                std::fprintf(stderr, "no frame at y %.0f\n", target);
                co_return false;
            }
            frame.totalMs = double(lastSwapNs - previousSwap) / 1e6;
            frame.tick = tickedSinceSwap;
            tickedSinceSwap = false;
            frames.push_back(frame);
        }
    }
    const int ticksDuringScroll = ticks;
    const double contentHeight = list->property("contentHeight").toReal();

    std::printf("run with the countdown ticker %s: window %dx%d (the panel's own height %d), list %.0fx%.0f px, "
                "content %.0f px\n",
                tickerRunning ? "running" : "stopped", view.width(), view.height(), ownHeight, list->width(),
                list->height(), contentHeight);
    std::printf("  first frame %.1f ms after the window was made\n", firstFrameMs);
    const auto total = [](const Frame& f) { return f.totalMs; };
    printSummary("all frames", summarise(select(frames, total)));
    printSummary("40 px steps", summarise(select(frames, total, [](const Frame& f) { return !f.jump; })));
    printSummary("jumps", summarise(select(frames, total, [](const Frame& f) { return f.jump; })));
    printSummary("moving the list only", summarise(select(frames, [](const Frame& f) { return f.scrollMs; })));
    std::vector<size_t> slowest(frames.size());
    std::iota(slowest.begin(), slowest.end(), size_t(0));
    const size_t shown = std::min<size_t>(3, frames.size());
    std::partial_sort(slowest.begin(), slowest.begin() + qsizetype(shown), slowest.end(),
                      [&](size_t a, size_t b) { return frames[a].totalMs > frames[b].totalMs; });
    std::printf("  slowest frames:");
    for (size_t i = 0; i < shown; ++i) {
        const Frame& f = frames[slowest[i]];
        std::printf(" #%zu at y %.0f%s%s %.2f ms;", slowest[i], f.y, f.jump ? " (jump)" : "", f.tick ? " (tick)" : "",
                    f.totalMs);
    }
    std::printf("\n");
    if (tickerRunning) {
        std::printf("  %d countdown ticks during the scroll\n", ticksDuringScroll);
        printSummary("frames with a tick", summarise(select(frames, total, [](const Frame& f) { return f.tick; })));
    }
    const QStringList seen = warnings.warnings();
    if (!seen.isEmpty())
        std::printf("  %lld Qt warnings, the first: %s\n", qlonglong(seen.size()), qPrintable(seen.first()));
    panel.setShown(false);
    // The coroutine last resumed from the window's own signal; leave that
    // delivery before the window is destroyed.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    co_return true;
}

QCoro::Task<int> run(int windowHeight)
{
    QElapsedTimer setup;
    setup.start();
    PanelFixture fixture;
    if (!fixture.ready()) {
        std::fprintf(stderr, "back-end: %s\n", qPrintable(fixture.backend.lastError()));
        co_return 1;
    }
    for (int i = 0; i < actionCount; ++i) {
        if (!fixture.add(makeAction(fixture, i))) {
            std::fprintf(stderr, "the back-end did not store action %d: %s\n", i,
                         qPrintable(fixture.backend.lastError()));
            co_return 1;
        }
    }
    if (!fixture.fetch(actionCount)) {
        std::fprintf(stderr, "the panel did not receive %d actions\n", actionCount);
        co_return 1;
    }
    // The countdowns follow the wall clock, so every tick changes their texts.
    fixture.panel->setClock([] { return QDateTime::currentDateTimeUtc(); });
    std::printf("approvals list scroll, %d pending actions, Qt Quick software renderer, %.0f px steps and a jump of "
                "%.0f list heights every %d frames (set-up %.1f s)\n",
                actionCount, flickStep, jumpScreens, framesBetweenJumps, double(setup.elapsed()) / 1000.0);

    for (const bool ticker : {false, true}) {
        if (!co_await scrollRun(fixture, windowHeight, ticker))
            co_return 1;
    }
    co_return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A window's update request is otherwise delivered 5 ms after it is made;
    // frames here follow each other as fast as the program can make them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_UPDATE_IDLE_TIME"))
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    // As the application does (QT_QUICK_BACKEND still wins).
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    // Optional argument: the window height (0: the panel's own height).
    bool valid = true;
    const int windowHeight = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt(&valid) : defaultWindowHeight;
    if (!valid || windowHeight < 0) {
        std::fprintf(stderr, "usage: bench_panel_scroll [window height in px, 0 for the panel's own; default %d]\n",
                     defaultWindowHeight);
        return 2;
    }
    QTimer::singleShot(0, &app, [windowHeight] {
        [windowHeight]() -> QCoro::Task<> { QCoreApplication::exit(co_await run(windowHeight)); }();
    });
    return app.exec();
}
