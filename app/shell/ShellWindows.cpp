#include "app/shell/ShellWindows.h"

#include "app/views/ViewFactory.h"
#include "app/views/ViewsLibrary.h"
#include "app/wizard/WizardState.h"
#include "core/CoreConstants.h"
#include "core/LogCategories.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

const QSize wizardSize(540, 780);
const QSize wizardMinimumSize(540, 680);
const QSize wizardMaximumSize(720, 1100);

} // namespace

ShellWindows::ShellWindows(WizardState& wizard, HomeState* home, QString quorvaneDirectory, QObject* parent)
    : QObject(parent)
    , m_quorvaneDirectory(std::move(quorvaneDirectory))
    , m_wizardState(wizard)
    , m_home(home)
    , m_views(&ViewsLibrary::factory)
{
    connect(&m_wizardState, &WizardState::activationRequested, this, &ShellWindows::showWizard);
    connect(&m_wizardState, &WizardState::closeRequested, this, &ShellWindows::finishWizard);
}

ShellWindows::~ShellWindows()
{
    delete m_wizardWindow.data();
    delete m_dashboardWindow.data();
}

bool ShellWindows::isSetupComplete() const
{
    return isSetupComplete(m_quorvaneDirectory.isEmpty() ? CoreConstants::quorvaneDirectory() : m_quorvaneDirectory);
}

bool ShellWindows::isSetupComplete(const QString& quorvaneDirectory)
{
    const QDir base(quorvaneDirectory);
    if (QFileInfo::exists(base.filePath(QStringLiteral("machine/approver-only"))))
        return true;
    const QDir agents(base.filePath(QStringLiteral("agents")));
    if (!agents.exists())
        return false;
    // QDir without QDir::Hidden leaves out names starting with ".".
    const QStringList entries = agents.entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        if (entry.startsWith(QLatin1Char('.')))
            continue;
        if (QFileInfo::exists(agents.filePath(entry + QStringLiteral("/config.json"))))
            return true;
    }
    return false;
}

bool ShellWindows::hasVisibleWindow() const
{
    return (m_wizardWindow && m_wizardWindow->isVisible()) || (m_dashboardWindow && m_dashboardWindow->isVisible());
}

QWindow* ShellWindows::makeWindow(const QString& qmlPath, const QString& propertyName, QObject* model)
{
    ViewFactory* views = m_views ? m_views() : nullptr;
    if (!views)
        return nullptr;
    const ViewFactory::View view = views->createView(QUrl(qmlPath), {{propertyName, QVariant::fromValue(model)}});
    if (!view.errorString.isEmpty())
        qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: window failed to load: %1").arg(view.errorString);
    view.window->setTitle(QStringLiteral("Quorvane"));
    view.window->installEventFilter(this);
    return view.window;
}

void ShellWindows::front(QWindow* window)
{
    window->show();
    window->raise();
    window->requestActivate();
}

void ShellWindows::showWizard()
{
    if (m_wizardWindow) {
        front(m_wizardWindow);
        return;
    }
    QWindow* view = makeWindow(QStringLiteral("qrc:/qt/qml/Quorvane/Wizard/WizardRootView.qml"),
                               QStringLiteral("wizardState"), &m_wizardState);
    if (!view)
        return;
    // Never taller than the screen's free area: the screens scroll their
    // content and keep their buttons in the window instead.
    const QScreen* screen = view->screen();
    const int room = screen && screen->availableGeometry().isValid() ? screen->availableGeometry().height()
                                                                      : wizardMaximumSize.height();
    view->setMinimumSize(QSize(wizardMinimumSize.width(), std::min(wizardMinimumSize.height(), room)));
    view->setMaximumSize(QSize(wizardMaximumSize.width(), std::min(wizardMaximumSize.height(), room)));
    view->resize(wizardSize.width(), std::min(wizardSize.height(), room));
    m_wizardWindow = view;
    Q_EMIT wizardWindowChanged();
    front(view);
}

void ShellWindows::showDashboard()
{
    if (m_wizardWindow) {
        showWizard();
        return;
    }
    if (m_dashboardWindow) {
        front(m_dashboardWindow);
        return;
    }
    if (!m_home)
        return;
    m_home->refresh();
    QWindow* view = makeWindow(QStringLiteral("qrc:/qt/qml/Quorvane/Dashboard/DashboardView.qml"),
                               QStringLiteral("home"), m_home);
    if (!view)
        return;
    view->resize(540, 680);
    view->setMinimumSize(QSize(540, 680));
    view->setMaximumSize(QSize(540, 680));
    m_dashboardWindow = view;
    Q_EMIT dashboardWindowChanged();
    front(view);
}

void ShellWindows::finishWizard()
{
    m_wizardState.cancelAnalysis();
    m_wizardState.clearSessionToken();
    if (QWindow* wizard = m_wizardWindow) {
        m_wizardWindow.clear();
        wizard->removeEventFilter(this);
        wizard->hide();
        wizard->deleteLater();
        Q_EMIT wizardWindowChanged();
    }
    startTrayService();
}

void ShellWindows::startTrayService()
{
    // The tray shell makes the status item and starts the services only once.
    if (m_shell.setUpStatusItem)
        m_shell.setUpStatusItem();
    if (m_shell.startServices)
        m_shell.startServices();
}

bool ShellWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close) {
        if (auto* window = qobject_cast<QWindow*>(watched)) {
            QPointer<QWindow> guard(window);
            QTimer::singleShot(0, this, [this, guard] {
                if (guard)
                    windowWillClose(guard);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ShellWindows::windowWillClose(QWindow* window)
{
    if (!window)
        return;
    if (window == m_wizardWindow) {
        m_wizardState.cancelAnalysis();
        m_wizardState.clearSessionToken();
        m_wizardWindow.clear();
        window->removeEventFilter(this);
        window->deleteLater();
        Q_EMIT wizardWindowChanged();
        if (!isSetupComplete()) {
            // The wizard was abandoned: quit without the quit question.
            if (m_shell.allowTermination)
                m_shell.allowTermination();
            if (m_shell.terminate)
                m_shell.terminate();
            return;
        }
        // Set up already (the wizard was opened again, or set-up finished on
        // disk before its last screen): the program goes on in the tray.
        startTrayService();
    } else if (window == m_dashboardWindow) {
        m_dashboardWindow.clear();
        window->removeEventFilter(this);
        window->deleteLater();
        Q_EMIT dashboardWindowChanged();
    }
}
