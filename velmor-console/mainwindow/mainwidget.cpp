#include "mainwidget.h"

#include "shell/agent.h"
#include "shell/cabinet.h"
#include "shell/errortext.h"

#include "velmorwire/jsonrpccall.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MainWidget::MainWidget(Agent *agent)
    : QWidget(nullptr)
    , m_agent(agent)
    , m_loginMode(0)
    , m_pendingFilteringMinutes(-1)
    , m_pendingProfileId(0)
{
    setObjectName(QStringLiteral("MainWidget"));
    setWindowTitle(tr("Velmor Agent"));
    auto status = new QLabel(this);
    status->setObjectName(QStringLiteral("lblAgentStatus"));

    m_loginPage = new QWidget(this);
    m_loginPage->setObjectName(QStringLiteral("loginPage"));
    m_prompt = new QLabel(m_loginPage);
    m_prompt->setObjectName(QStringLiteral("lblSignupError"));
    m_prompt->setWordWrap(true);
    m_user = new QLineEdit(m_loginPage);
    m_user->setObjectName(QStringLiteral("leUser"));
    m_password = new QLineEdit(m_loginPage);
    m_password->setObjectName(QStringLiteral("lePassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_login = new QPushButton(tr("Unlock"), m_loginPage);
    m_login->setObjectName(QStringLiteral("pbLogin"));
    m_login->setProperty("vyrbutton", true);
    m_cancel = new QPushButton(tr("Cancel"), m_loginPage);
    m_cancel->setObjectName(QStringLiteral("pbCancelLogin"));
    m_cancel->setProperty("vyrbutton", true);

    auto fields = new QFormLayout;
    fields->addRow(tr("Login:"), m_user);
    fields->addRow(tr("Password:"), m_password);
    auto buttons = new QHBoxLayout;
    buttons->addWidget(m_login);
    buttons->addWidget(m_cancel);
    auto page = new QVBoxLayout(m_loginPage);
    page->addWidget(m_prompt);
    page->addLayout(fields);
    page->addLayout(buttons);
    m_loginPage->hide();

    auto layout = new QVBoxLayout(this);
    layout->addWidget(status);
    layout->addWidget(m_loginPage);
    layout->addStretch();
    resize(360, 240);

    connect(m_login, &QPushButton::clicked, this, &MainWidget::submitUnlock);
    connect(m_cancel, &QPushButton::clicked, this, &MainWidget::cancelUnlock);
    connect(agent, &Agent::stateChanged, status, [agent, status] { status->setText(agent->stateText()); });
    connect(agent, &Agent::settingsLockUpdated, this, [this](bool locked) { m_loginMode = locked ? 1 : 0; });
    // Only the user name is kept: the password never leaves the service's notification.
    connect(agent->cabinet(), &Cabinet::credentialsUpdated, this,
        [this](const QString &user, const QString &) { m_user->setText(user); });
}

MainWidget::~MainWidget() = default;

void MainWidget::showUnlockPage(const QString &prompt)
{
    showLoginPage();
    if (!prompt.isEmpty())
        m_prompt->setText(prompt);
}

void MainWidget::showLoginPage()
{
    m_prompt->setText(m_loginMode == 1 ? tr("Settings are locked. Enter your password to unlock them.") : QString());
    m_password->clear();
    m_loginPage->show();
    show();
    raise();
    activateWindow();
}

bool MainWidget::selectProfile(quint32 profileId)
{
    m_pendingProfileId = profileId;
    if (m_loginMode == 1) {
        showLoginPage();
        return false;
    }
    applyPending();
    return true;
}

bool MainWidget::turnOffFiltering(int minutes)
{
    if (m_loginMode == 1) {
        m_pendingFilteringMinutes = minutes;
        showLoginPage();
        return false;
    }
    m_agent->setGlobalFiltering(false, minutes);
    return true;
}

void MainWidget::login()
{
    if (m_loginMode != 0)
        return;
    show();
    raise();
    activateWindow();
}

void MainWidget::submitUnlock()
{
    if (m_loginMode != 1)
        return;
    Velmor::JsonRPCCall *sent = m_agent->cabinet()->unlockSettings(m_user->text(), m_password->text());
    connect(sent, &Velmor::JsonRPCCall::finished, this, [this, sent] {
        if (sent->error().code() != 0) {
            m_prompt->setText(errorText(sent->error()));
            return;
        }
        m_loginMode = 0;
        m_loginPage->hide();
        applyPending();
        Q_EMIT settingsUnlocked();
    });
}

void MainWidget::cancelUnlock()
{
    m_pendingFilteringMinutes = -1;
    m_pendingProfileId = 0;
    m_loginPage->hide();
    if (m_loginMode == 1)
        Q_EMIT settingsUnlockCanceled();
}

void MainWidget::applyPending()
{
    if (m_pendingFilteringMinutes != -1) {
        m_agent->setGlobalFiltering(false, m_pendingFilteringMinutes);
        m_pendingFilteringMinutes = -1;
    }
    if (m_pendingProfileId != 0) {
        m_agent->cabinet()->setProfile(m_pendingProfileId);
        m_pendingProfileId = 0;
    }
}
