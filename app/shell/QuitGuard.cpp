#include "app/shell/QuitGuard.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>

QString QuitPrompt::message()
{
    return QCoreApplication::translate("QuitPrompt", "Quorvane is a background security service");
}

QString QuitPrompt::informativeText()
{
    return QCoreApplication::translate(
        "QuitPrompt",
        "Quitting without uninstalling leaves behind config files, signing keys, and agent "
        "registrations.\n\nTo fully remove Quorvane, use the Uninstall button in the app.");
}

QStringList QuitPrompt::buttonTexts()
{
    return {QCoreApplication::translate("QuitPrompt", "Open Uninstall"),
            QCoreApplication::translate("QuitPrompt", "Quit Anyway"), QCoreApplication::translate("QuitPrompt", "Cancel")};
}

MessageBoxQuitPrompt::MessageBoxQuitPrompt(QObject* parent)
    : QObject(parent)
{
}

MessageBoxQuitPrompt::~MessageBoxQuitPrompt()
{
    delete m_box.data();
}

bool MessageBoxQuitPrompt::ask(Answer answer)
{
    if (m_box)
        return false;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quorvane"), message());
    box->setInformativeText(informativeText());
    box->setAttribute(Qt::WA_DeleteOnClose);
    const QStringList texts = buttonTexts();
    QPushButton* uninstall = box->addButton(texts.at(0), QMessageBox::ActionRole);
    QPushButton* quit = box->addButton(texts.at(1), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(texts.at(2), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    m_box = box;
    connect(box, &QMessageBox::finished, this, [box, uninstall, quit, answer = std::move(answer)] {
        const QAbstractButton* clicked = box->clickedButton();
        Choice choice = Choice::cancel;
        if (clicked == uninstall)
            choice = Choice::openUninstall;
        else if (clicked == quit)
            choice = Choice::quitAnyway;
        answer(choice);
    });
    box->open();
    box->raise();
    box->activateWindow();
    return true;
}

QuitGuard::QuitGuard(Decide decide, QObject* parent)
    : QObject(parent)
    , m_decide(std::move(decide))
{
}

bool QuitGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        if (m_decide && !m_decide()) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
