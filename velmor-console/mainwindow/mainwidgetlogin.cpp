#include "mainwidget.h"

#include "app/agent.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"
#include "ui_mainwidget.h"

#include "velmorwire/jsonrpccall.h"

#include <QMessageBox>

namespace {

// The account service's answers that the login page reacts to.
const quint32 invalidLoginOrPassword = 30;
const quint32 registrationRefused = 33;

QString unlockPrompt()
{
    return MainWidget::tr("Enter your password to unlock settings");
}

} // namespace

void MainWidget::setLoginMode(int mode)
{
    const int previous = m_loginMode;
    m_loginMode = mode;
    ui->pbLogin->setText(mode == 1 ? tr("Unlock") : mode == 2 ? tr("Sign Up") : tr("Sign In"));
    // In unlock mode the hidden user field still holds the account's login, which the unlock call sends.
    ui->formLayout->setRowVisible(0, mode != 1);
    ui->formLayout->setRowVisible(1, true);
    ui->formLayout->setRowVisible(2, mode == 2);
    ui->lblForgotPassword->setVisible(mode != 2);
    ui->lblRegisterHint->setVisible(mode == 2);
    ui->lblRegisterNew->setVisible(mode == 0 && !m_agent->cabinet()->isIdentified());
    if (mode == 1) {
        ui->lePassword->clear();
        ui->lePassword->setFocus();
        ui->lblSignupError->setText(unlockPrompt());
        ui->lblSignupError->show();
    } else {
        ui->lblSignupError->hide();
    }
    if (previous != 1 && mode == 1)
        Q_EMIT settingsProtectionChanged(true);
    else if (previous == 1 && mode != 1)
        Q_EMIT settingsProtectionChanged(false);
}

void MainWidget::enableLoginControls()
{
    ui->leUser->setEnabled(true);
    ui->lePassword->setEnabled(true);
    ui->leRepeatPassword->setEnabled(true);
    ui->pbLogin->setEnabled(true);
    unsetCursor();
}

void MainWidget::takeCredentialsSnapshot()
{
    m_previousUser = ui->leUser->text();
    // An empty field in front of a withheld password is that password still: nothing typed has replaced it.
    if (m_passwordWithheld && ui->lePassword->text().isEmpty())
        return;
    m_previousPassword = ui->lePassword->text();
    m_passwordWithheld = false;
}

void MainWidget::on_pbLogin_clicked()
{
    Cabinet *cabinet = m_agent->cabinet();
    const QString user = ui->leUser->text();
    const QString password = ui->lePassword->text();
    Velmor::JsonRPCCall *call = nullptr;
    if (m_loginMode == 1) {
        if (password.isEmpty())
            return;
        call = cabinet->unlockSettings(user, password);
    } else if (m_loginMode == 2) {
        if (password.isEmpty() || user.isEmpty()) {
            QMessageBox::warning(this, tr("Registration"), tr("Both E-mail and password fields must be filled"));
            return;
        }
        if (ui->leRepeatPassword->text() != password) {
            QMessageBox::warning(this, tr("Registration"), tr("Password and repeated password do not match"));
            return;
        }
        call = cabinet->registerUser(user, password);
    } else {
        call = cabinet->setCredentials(user, password);
    }
    ui->leUser->setEnabled(false);
    ui->lePassword->setEnabled(false);
    ui->leRepeatPassword->setEnabled(false);
    ui->pbLogin->setEnabled(false);
    // An earlier attempt's complaint is not about this one; the unlock prompt stays, it tells what the page is for.
    if (m_loginMode == 1)
        ui->lblSignupError->setText(unlockPrompt());
    else
        ui->lblSignupError->hide();
    setCursor(Qt::BusyCursor);
    connect(call, &Velmor::JsonRPCCall::finished, this, &MainWidget::cabinet_credentialsChanged);
}

void MainWidget::cabinet_credentialsChanged()
{
    enableLoginControls();
    auto call = qobject_cast<Velmor::JsonRPCCall *>(sender());
    // A failure reaches the window through the model's error().
    if (!call || call->error().code() != 0)
        return;
    takeCredentialsSnapshot();
    QWidget *target = ui->welcomePage;
    if (m_loginMode == 1) {
        target = m_pageAfterUnlock ? m_pageAfterUnlock : ui->settingsPage;
        m_pageAfterUnlock = nullptr;
        if (m_pendingFilteringMinutes != -1) {
            m_agent->status()->setGlobalFiltering(false, m_pendingFilteringMinutes);
            m_pendingFilteringMinutes = -1;
        }
        applyPendingProfile();
        Q_EMIT settingsUnlocked();
    } else {
        m_pageAfterUnlock = nullptr;
    }
    if (m_loginMode != 0)
        setLoginMode(0);
    showPage(target);
}

void MainWidget::applyPendingProfile()
{
    if (m_pendingProfileId == 0)
        return;
    selectProfileItem(m_pendingProfileId);
    m_agent->cabinet()->setProfile(m_pendingProfileId);
    m_pendingProfileId = 0;
}

void MainWidget::on_pbCancelLogin_clicked()
{
    if (m_loginMode == 2) {
        setLoginMode(0);
        return;
    }
    if (m_loginMode == 1) {
        m_pendingFilteringMinutes = -1;
        m_pendingProfileId = 0;
        Q_EMIT settingsUnlockCanceled();
        showPage(ui->welcomePage);
        return;
    }
    const QString shownPassword = m_passwordWithheld ? QString() : m_previousPassword;
    if (ui->leUser->text() == m_previousUser && ui->lePassword->text() == shownPassword) {
        showPage(ui->settingsPage);
        return;
    }
    ui->leUser->setText(m_previousUser);
    if (m_passwordWithheld) {
        // The service never told the password, so it cannot be given back: sending the empty one would sign the
        // service out. The fields return to what the service sent.
        ui->lePassword->clear();
        showPage(ui->settingsPage);
        return;
    }
    // The service gets the previous credentials again, so an edited sign-in that failed leaves no wrong account.
    ui->lePassword->setText(m_previousPassword);
    on_pbLogin_clicked();
}

void MainWidget::on_clbChangeUser_clicked()
{
    takeCredentialsSnapshot();
    showPage(ui->loginPage);
}

void MainWidget::setCredentials(const QString &user, const QString &password)
{
    ui->leUser->setText(user);
    ui->lePassword->setText(password);
    m_previousUser = user;
    m_passwordWithheld = password.isEmpty() && !user.isEmpty();
    if (!m_passwordWithheld)
        m_previousPassword = password;
    // Before the connection completes the page may still be disabled; completion opens it.
    if (user.isEmpty())
        showPage(ui->loginPage);
}

void MainWidget::login()
{
    if (m_loginMode != 0)
        return;
    if (ui->leUser->text().isEmpty() || ui->lePassword->text().isEmpty()) {
        showUnlockPage(QString());
        return;
    }
    on_pbLogin_clicked();
}

void MainWidget::tryLockSettings()
{
    if (!ui->ckPasswordSettings->isChecked() || ui->leUser->text().isEmpty()
        || !m_agent->status()->isConnectionComplete() || !m_agent->cabinet()->isIdentified())
        return;
    setLoginMode(1);
    // The filter editor changes settings too, and it is a window of its own.
    if (m_filterDialog)
        m_filterDialog->close();
    if (!leaveLockedPage())
        showPage(nullptr);
}

void MainWidget::agent_settingsLockUpdated(bool locked)
{
    // Only the box follows the service: the lock itself comes with the next hide or connection completion.
    ui->ckPasswordSettings->setChecked(locked);
}

void MainWidget::showUnlockPage(const QString &prompt)
{
    showPage(ui->loginPage);
    show();
    raise();
    activateWindow();
    if (!prompt.isEmpty()) {
        ui->lblSignupError->setText(prompt);
        ui->lblSignupError->show();
    }
}

bool MainWidget::selectProfile(quint32 profileId)
{
    m_pendingProfileId = profileId;
    if (m_loginMode != 1) {
        applyPendingProfile();
        return true;
    }
    show();
    raise();
    activateWindow();
    m_pageAfterUnlock = ui->welcomePage;
    showPage(ui->loginPage);
    return false;
}

bool MainWidget::turnOffFiltering(int minutes)
{
    if (m_loginMode != 1) {
        m_agent->status()->setGlobalFiltering(false, minutes);
        return true;
    }
    show();
    raise();
    activateWindow();
    m_pageAfterUnlock = ui->welcomePage;
    m_pendingFilteringMinutes = minutes;
    showPage(ui->loginPage);
    return false;
}

void MainWidget::cabinet_error()
{
    enableLoginControls();
    updateIdentityLabels();
    const Velmor::Error &error = m_agent->cabinet()->lastError();
    if (error.code() == invalidLoginOrPassword) {
        if (m_loginMode == 2)
            setLoginMode(0);
        showPage(ui->loginPage);
        if (ui->leUser->text().isEmpty() || ui->lePassword->text().isEmpty())
            ui->lblSignupError->setText(tr("Please enter your login and password"));
        else if (m_loginMode == 1)
            ui->lblSignupError->setText(tr("Incorrect password"));
        else
            ui->lblSignupError->setText(tr("Incorrect login or password"));
        ui->lblSignupError->show();
        if (m_loginMode != 1)
            ui->lblRegisterNew->show();
    } else if (error.code() == registrationRefused) {
        ui->lblSignupError->setText(QStringLiteral("%1: %2").arg(tr("Failed"), error.message()));
        ui->lblSignupError->show();
    } else {
        showPage(ui->welcomePage);
    }
}

void MainWidget::cabinet_identificationStateChanged()
{
    updateIdentityLabels();
    if (m_agent->cabinet()->isIdentified()) {
        if (m_loginMode != 1)
            ui->lblSignupError->hide();
        ui->lblRegisterNew->hide();
        if (ui->stackedWidget->currentWidget() == ui->loginPage && m_loginMode == 0) {
            enableLoginControls();
            showPage(ui->welcomePage);
            takeCredentialsSnapshot();
        }
    }
    selectProfileItem(m_agent->cabinet()->selectedProfileId());
}
