#pragma once

#include "app/shell/ShellWindows.h"
#include "app/style/QuorvaneStyle.h"
#include "app/tooling/DetectedTool.h"
#include "app/wizard/WizardState.h"
#include "tests/app/wizard/WizardTestAccess.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QImage>
#include <QPointer>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

// The wizard window as the program opens it (through the shell's windows and
// the views library, at its real size), with the model at hand so a test can
// put it in any state and look at what the screens show.
struct WizardWindowFixture
{
    QmlWarningGuard guard;
    TestHome home;
    WizardState state;
    ShellWindows windows { state };
    AccountSignIn& account = *state.account();
    InstallPhase& install = *state.install();
    ModelDownload& download = *state.install()->modelDownload();
    AgentConfiguration& configuration = *state.configuration();
    SetupRun& setup = *state.setup();
    ActivityAnalysis& analysis = *state.analysis();
    QList<QUrl> opened; // what the screens opened in the browser

    WizardWindowFixture()
    {
        state.setServices({ .openBrowser = [this](const QUrl& url) {
            opened << url;
            return true;
        } });
        windows.showWizard();
    }
    // Every test fails on a warning of the views.
    ~WizardWindowFixture() { QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n'))); }

    QQuickView* view() const { return qobject_cast<QQuickView*>(windows.wizardWindow()); }
    // The window's content: the wizard's root view and the dialogs above it.
    QQuickItem* root() const { return view() ? view()->contentItem() : nullptr; }

    // Switches to `screen` and waits until it is the only one shown, at rest.
    bool show(WizardState::WizardScreen screen, const QString& screenName)
    {
        WizardTestAccess::show(state, screen);
        return settle(screenName);
    }
    bool settle(const QString& screenName)
    {
        const bool atRest = QTest::qWaitFor([&] {
            QQuickItem* shown = find(screenName);
            QQuickItem* stack = QmlItems::find(root(), QStringLiteral("wizardStack"));
            return shown && shown->opacity() == 1.0 && stack && !stack->property("busy").toBool()
                && QmlItems::visible(root(), QStringLiteral("wizardStack")).size() == 1;
        });
        return atRest && QTest::qWaitForWindowExposed(view());
    }

    QQuickItem* find(const QString& name) const
    {
        const QList<QQuickItem*> found = QmlItems::visible(root(), name);
        return found.isEmpty() ? nullptr : found.first();
    }
    QList<QQuickItem*> all(const QString& name) const { return QmlItems::visible(root(), name); }
    QString text(const QString& name) const
    {
        QQuickItem* item = find(name);
        return item ? item->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }

    // The item lies wholly inside the window at the window's size, and no
    // clipping ancestor (a scrolled area) hides any of it.
    bool insideWindow(QQuickItem* item) const
    {
        if (!item || item->width() <= 0 || item->height() <= 0)
            return false;
        const QRectF rect = item->mapRectToScene(item->boundingRect());
        if (!QRectF(QPointF(0, 0), QSizeF(view()->size())).contains(rect))
            return false;
        for (QQuickItem* ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
            if (ancestor->clip() && !ancestor->mapRectToScene(ancestor->boundingRect()).contains(rect))
                return false;
        }
        return true;
    }

    void click(QQuickItem* item)
    {
        const QPoint centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
        QTest::mouseClick(view(), Qt::LeftButton, {}, centre);
    }

    void press(QQuickItem* item)
    {
        item->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(view(), Qt::Key_Space);
    }

    // Types Latin-1 text into the focused item.
    void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(view(), c.toLatin1());
    }

    // Writes the window to $QUORVANE_SCREENSHOT_DIR/wizard-<name>.png when set.
    void screenshot(const QString& name)
    {
        const QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QTest::qWait(50);
        const QImage image = view()->grabWindow();
        if (!image.save(QDir(dir).filePath(QStringLiteral("wizard-") + name + QStringLiteral(".png"))))
            qWarning("screenshot %s not written", qPrintable(name));
    }

    // A detected tool as the scan makes it; `projects` are folder paths.
    static DetectedTool tool(const QString& name, const QString& subtitle, const QStringList& projects = {},
        const QString& root = {})
    {
        DetectedTool made;
        made.name = name;
        made.subtitle = subtitle;
        for (const QString& path : projects) {
            DiscoveredProject project;
            project.path = path;
            project.lastUsed = QStringLiteral("2 days ago");
            made.projects.append(project);
        }
        made.projectsRoot = root;
        made.projectsRootEnabled = !root.isEmpty();
        return made;
    }
};
