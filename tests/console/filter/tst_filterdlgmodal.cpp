#include "filtertest.h"

#include "app/agent.h"
#include "filter/adddialog.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

using namespace FilterTest;

// The main window closes the filter dialog on every change of the link to the service. Whichever box of the
// dialog is open then goes with it; nothing of the dialog is used afterwards, and nothing more is sent.
class tst_FilterDlgModal : public Suite
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void closedUnderABox_data();
    void closedUnderABox();

private:
};

enum Box { FailedAddition, FailedProfile, TimeZone, AliasDialog, LoadError };
Q_DECLARE_METATYPE(Box)

void tst_FilterDlgModal::cleanup()
{
    finish();
}

void tst_FilterDlgModal::closedUnderABox_data()
{
    QTest::addColumn<Box>("box");

    QTest::newRow("failed addition") << FailedAddition;
    QTest::newRow("failed profile, over the profiles editor") << FailedProfile;
    QTest::newRow("time zone") << TimeZone;
    QTest::newRow("alias dialog") << AliasDialog;
    QTest::newRow("load error") << LoadError;
}

void tst_FilterDlgModal::closedUnderABox()
{
    QFETCH(Box, box);

    QVariantMap script = withFeature(FilterTest::script(), QStringLiteral("aliases_list_size"), -1);
    script = withAnswer(script, QStringLiteral("addDomain"), failure(1042, QStringLiteral("Refused")));
    script = withAnswer(script, QStringLiteral("addProfile"), failure(1042, QStringLiteral("Refused")));
    if (box == LoadError)
        script = withAnswer(script, QStringLiteral("domains"), failure(2, QStringLiteral("slow")));
    m_account = std::make_unique<Account>(script);
    QVERIFY(m_account->ready());
    if (box == TimeZone) {
        Velmor::CabinetUserInfo info = m_account->cabinet()->userInfo();
        info.timeZone = 5;
        m_account->cabinet()->setUserInfo(info);
    }
    m_dialog = open(m_account->cabinet());
    if (box != LoadError)
        QVERIFY(waitLoaded(m_dialog));
    // As the main window does.
    connect(
        m_account->desktop.agent->connector(), &Velmor::IpcConnection::disconnected, m_dialog.data(), &QWidget::close);

    QPointer<QDialog> open;
    switch (box) {
    case FailedAddition:
        QMetaObject::invokeMethod(listEditor(m_dialog, 0), "newItem", Q_ARG(QString, QStringLiteral("a.example")));
        break;
    case FailedProfile: {
        QTest::mouseClick(child<QToolButton>(m_dialog, "btnProfilesSettings"), Qt::LeftButton);
        auto *editor = child<QDialog>(m_dialog, "dlgProfileEdit");
        QMetaObject::invokeMethod(editor->findChild<EasyListEdit *>(), "newItem", Q_ARG(QString, QStringLiteral("P")));
        break;
    }
    case TimeZone:
        child<QTabWidget>(m_dialog, "tabWidget")->setCurrentWidget(child<QWidget>(m_dialog, "tabSchedule"));
        break;
    case AliasDialog: {
        child<QTabWidget>(m_dialog, "tabWidget")->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
        QTest::mouseClick(child<QPushButton>(listEditor(m_dialog, 2), "btnAdd"), Qt::LeftButton);
        open = m_dialog->findChild<AddDialog *>();
        QVERIFY(open);
        auto *form = qobject_cast<QFormLayout *>(open->layout());
        qobject_cast<QLineEdit *>(form->itemAt(0, QFormLayout::FieldRole)->widget())->setText("10.0.0.1");
        qobject_cast<QLineEdit *>(form->itemAt(1, QFormLayout::FieldRole)->widget())->setText("a.example");
        break;
    }
    case LoadError:
        break;
    }
    if (box != AliasDialog) {
        QTRY_COMPARE(messageBoxes().size(), 1);
        open = messageBoxes().constFirst();
    }
    QTRY_VERIFY(open->isVisible());
    const bool modal = open->isModal();
    QCOMPARE(modal, box != LoadError);

    // The link changes: the dialog closes while the box is up.
    m_account->service()->clearMessages();
    m_account->service()->stop();
    QTRY_VERIFY(m_dialog.isNull());
    // The box went with it; were one left, dismissing it must touch nothing of the dialog.
    if (open) {
        if (auto *message = qobject_cast<QMessageBox *>(open.data()))
            message->button(message->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::Close)
                ->click();
        else
            open->accept();
    }
    QTRY_VERIFY(open.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(messageBoxes().size(), 0);
    QCOMPARE(m_account->service()->messages().size(), 0);
}

FILTER_TEST_MAIN(tst_FilterDlgModal)
#include "tst_filterdlgmodal.moc"
