#include "mainwidget.h"

#include "filter/filterdlg.h"
#include "model/cabinet.h"
#include "model/servicestatus.h"
#include "ui_mainwidget.h"

#include "velmorwire/jsonrpccall.h"

#include <QMessageBox>

namespace {

QString unlockPrompt()
{
    return MainWidget::tr("Enter your password to unlock settings");
}

} // namespace

void MainWidget::setLoginMode(SettingsUnlock::LoginMode mode)
{
    const bool wasLocked = m_unlock->isLocked();
    m_unlock->setMode(mode);
    ui->pbLogin->setText(mode == SettingsUnlock::Unlock ? tr("Unlock")
            : mode == SettingsUnlock::SignUp            ? tr("Sign Up")
                                                        : tr("Sign In"));
    // In unlock mode the hidden user field still holds the account's login, which the unlock call sends.
    ui->formLayout->setRowVisible(0, mode != SettingsUnlock::Unlock);
    ui->formLayout->setRowVisible(1, true);
    ui->formLayout->setRowVisible(2, mode == SettingsUnlock::SignUp);
    ui->lblForgotPassword->setVisible(mode != SettingsUnlock::SignUp);
    ui->lblRegisterHint->setVisible(mode == SettingsUnlock::SignUp);
    ui->lblRegisterNew->setVisible(mode == SettingsUnlock::SignIn && !m_cabinet->isIdentified());
    if (mode == SettingsUnlock::Unlock) {
        ui->lePassword->clear();
        ui->lePassword->setFocus();
        ui->lblSignupError->setText(unlockPrompt());
        ui->lblSignupError->show();
    } else {
        ui->lblSignupError->hide();
    }
    updateCancelOffer();
    if (wasLocked != m_unlock->isLocked())
        Q_EMIT settingsProtectionChanged(m_unlock->isLocked());
}

void MainWidget::enableLoginControls()
{
    ui->leUser->setEnabled(true);
    ui->lePassword->setEnabled(true);
    ui->leRepeatPassword->setEnabled(true);
    ui->pbLogin->setEnabled(true);
    unsetCursor();
}

bool MainWidget::canCancelLogin() const
{
    return m_unlock->mode() != SettingsUnlock::SignIn || !m_previousUser.isEmpty();
}

void MainWidget::updateCancelOffer()
{
    ui->pbCancelLogin->setVisible(canCancelLogin());
}

void MainWidget::focusLoginField()
{
    // The fields were disabled during the call, and the focus went on to the buttons: without this, typed keys
    // reach no field.
    QLineEdit *target = ui->lePassword;
    if (m_unlock->mode() != SettingsUnlock::Unlock && ui->leUser->text().isEmpty())
        target = ui->leUser;
    else if (!ui->lePassword->text().isEmpty() && m_unlock->mode() == SettingsUnlock::SignUp
        && ui->leRepeatPassword->text().isEmpty())
        target = ui->leRepeatPassword;
    target->setFocus();
    target->selectAll();
}

void MainWidget::takeCredentialsSnapshot()
{
    m_previousUser = ui->leUser->text();
    // An empty field in front of a withheld password is that password still: nothing typed has replaced it.
    if (m_passwordWithheld && ui->lePassword->text().isEmpty())
        return;
    m_previousPassword = ui->lePassword->text();
    m_passwordWithheld = false;
    updateCancelOffer();
}

void MainWidget::on_pbLogin_clicked()
{
    Cabinet *cabinet = m_cabinet;
    const QString user = ui->leUser->text();
    const QString password = ui->lePassword->text();
    Velmor::JsonRPCCall *call = nullptr;
    if (m_unlock->mode() == SettingsUnlock::Unlock) {
        if (password.isEmpty())
            return;
        call = cabinet->unlockSettings(user, password);
    } else if (m_unlock->mode() == SettingsUnlock::SignUp) {
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
    if (m_unlock->isLocked())
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
    if (!call || !call->error().isSuccess())
        return;
    takeCredentialsSnapshot();
    QWidget *target = ui->welcomePage;
    if (m_unlock->isLocked()) {
        target = m_unlock->unlocked() == SettingsUnlock::ToStatus ? ui->welcomePage : ui->settingsPage;
        Q_EMIT settingsUnlocked();
    } else {
        m_unlock->forgetReturn();
    }
    if (m_unlock->mode() != SettingsUnlock::SignIn)
        setLoginMode(SettingsUnlock::SignIn);
    showPage(target);
}

void MainWidget::on_pbCancelLogin_clicked()
{
    // Escape presses Cancel too, even where it is not offered: what was typed stays.
    if (!canCancelLogin())
        return;
    if (m_unlock->mode() == SettingsUnlock::SignUp) {
        setLoginMode(SettingsUnlock::SignIn);
        return;
    }
    if (m_unlock->isLocked()) {
        m_unlock->cancel();
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
    updateCancelOffer();
    // Before the connection completes the page may still be disabled; completion opens it.
    if (user.isEmpty())
        showPage(ui->loginPage);
}

void MainWidget::login()
{
    if (m_unlock->mode() != SettingsUnlock::SignIn)
        return;
    if (ui->leUser->text().isEmpty() || ui->lePassword->text().isEmpty()) {
        showUnlockPage(QString());
        return;
    }
    on_pbLogin_clicked();
}

void MainWidget::tryLockSettings()
{
    // The service's own rule, identification left out: an account that is not identified now (the account service
    // out of reach, a refused sign-in) still holds the settings, and the service refuses their changes meanwhile.
    if (!ui->ckPasswordSettings->isChecked() || ui->leUser->text().isEmpty() || !m_status->isConnectionComplete())
        return;
    setLoginMode(SettingsUnlock::Unlock);
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
    focusLoginField();
}

void MainWidget::askForUnlock()
{
    show();
    raise();
    activateWindow();
    showPage(ui->loginPage);
}

void MainWidget::cabinet_error()
{
    enableLoginControls();
    updateIdentityLabels();
    const Velmor::Error &error = m_cabinet->lastError();
    if (error.code() == Velmor::Error::AuthenticationFailed) {
        if (m_unlock->mode() == SettingsUnlock::SignUp)
            setLoginMode(SettingsUnlock::SignIn);
        showPage(ui->loginPage);
        if (ui->leUser->text().isEmpty() || ui->lePassword->text().isEmpty())
            ui->lblSignupError->setText(tr("Please enter your login and password"));
        else if (m_unlock->isLocked())
            ui->lblSignupError->setText(tr("Incorrect password"));
        else
            ui->lblSignupError->setText(tr("Incorrect login or password"));
        ui->lblSignupError->show();
        if (!m_unlock->isLocked())
            ui->lblRegisterNew->show();
        focusLoginField();
    } else if (error.code() == Velmor::Error::RegistrationRefused) {
        ui->lblSignupError->setText(QStringLiteral("%1: %2").arg(tr("Failed"), error.message()));
        ui->lblSignupError->show();
        focusLoginField();
    } else if (m_unlock->isLocked() && ui->stackedWidget->currentWidget() == ui->loginPage
        && error.code() == Velmor::Error::GeneralFailure && !error.message().isEmpty()) {
        // The service turns an attempt away at once while a refused password's pause lasts, saying how long is
        // left ("Try again in 40 s"): the page stays for the next try.
        ui->lblSignupError->setText(error.message());
        ui->lblSignupError->show();
        focusLoginField();
    } else {
        showPage(ui->welcomePage);
    }
}

void MainWidget::cabinet_identificationStateChanged()
{
    updateIdentityLabels();
    if (m_cabinet->isIdentified()) {
        if (!m_unlock->isLocked())
            ui->lblSignupError->hide();
        ui->lblRegisterNew->hide();
        if (ui->stackedWidget->currentWidget() == ui->loginPage && m_unlock->mode() == SettingsUnlock::SignIn) {
            enableLoginControls();
            showPage(ui->welcomePage);
            takeCredentialsSnapshot();
        }
    }
    selectProfileItem(m_cabinet->selectedProfileId());
}
