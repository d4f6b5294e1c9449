#include "consoletest.h"

#include "mainwindow/memorymsgbox.h"

#include "platform/settingsstore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

// Questions that remember their answer in the program's settings on the simulated machine: once the user ticks
// the box and answers, the same question answers itself.
class tst_MemoryMsgBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void firstAskShowsTheDialog();
    void rememberedAnswer_data();
    void rememberedAnswer();
    void closedWithoutAnswer();
    void lastFlaggedDefaultWins();
    void notice();

private:
    // The open question dialog, if any.
    static MemoryMsgBox *openDialog();
    static QPushButton *button(MemoryMsgBox *dialog, const QString &text);
    // The autostart question's two answers, counting their clicks.
    QList<MMButton *> answers(QSignalSpy **closeSpy = nullptr, QSignalSpy **keepSpy = nullptr);
    QString storedText() const;

    std::unique_ptr<ConsoleTest::Machine> m_machine;
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

void tst_MemoryMsgBox::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Agent"));
}

void tst_MemoryMsgBox::init()
{
    m_machine = std::make_unique<ConsoleTest::Machine>();
    Velmor::Platform::useRootSettings();
}

void tst_MemoryMsgBox::cleanup()
{
    if (MemoryMsgBox *dialog = openDialog())
        delete dialog;
    m_spies.clear();
    m_machine.reset();
}

MemoryMsgBox *tst_MemoryMsgBox::openDialog()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto dialog = qobject_cast<MemoryMsgBox *>(window);
        if (dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

QPushButton *tst_MemoryMsgBox::button(MemoryMsgBox *dialog, const QString &text)
{
    const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
    for (QPushButton *candidate : buttons) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QList<MMButton *> tst_MemoryMsgBox::answers(QSignalSpy **closeSpy, QSignalSpy **keepSpy)
{
    auto close = new MMButton(QStringLiteral("&Close"), 1);
    auto keep = new MMButton(QStringLiteral("Continue &working"), 0);
    m_spies.push_back(std::make_unique<QSignalSpy>(close, &MMButton::clicked));
    if (closeSpy)
        *closeSpy = m_spies.back().get();
    m_spies.push_back(std::make_unique<QSignalSpy>(keep, &MMButton::clicked));
    if (keepSpy)
        *keepSpy = m_spies.back().get();
    return { close, keep };
}

QString tst_MemoryMsgBox::storedText() const
{
    QSettings settings;
    settings.sync();
    return settings.value(QStringLiteral("vq-autostart-close")).toString();
}

void tst_MemoryMsgBox::form()
{
    MemoryMsgBox dialog(false, QStringLiteral("q"), QStringLiteral("Why?"), answers(), nullptr);
    QCOMPARE(dialog.objectName(), QStringLiteral("VarQuestionDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmor"));
    QCOMPARE(dialog.size(), QSize(221, 120));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto question = dialog.findChild<QLabel *>(QStringLiteral("lblQuestion"));
    QCOMPARE(question->text(), QStringLiteral("Why?"));
    QVERIFY(question->wordWrap());
    QCOMPARE(
        dialog.findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->text(), QStringLiteral("Remember choice"));
    auto box = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QCOMPARE(box->buttons().size(), 2);
    for (QAbstractButton *answer : box->buttons())
        QCOMPARE(int(box->buttonRole(answer)), int(QDialogButtonBox::AcceptRole));
    QCOMPARE(dialog.windowIcon().pixmap(32).toImage(),
        dialog.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32).toImage());
}

// The first ask shows the dialog, unticked, the first answer the default; answering runs the reaction and
// stores nothing.
void tst_MemoryMsgBox::firstAskShowsTheDialog()
{
    QSignalSpy *closeSpy = nullptr;
    QSignalSpy *keepSpy = nullptr;
    const QList<MMButton *> list = answers(&closeSpy, &keepSpy);
    QPointer<MMButton> close = list.first();
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), list, nullptr);
    MemoryMsgBox *dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QVERIFY(!dialog->findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->isChecked());
    QVERIFY(button(dialog, QStringLiteral("&Close"))->isDefault());
    QCOMPARE(close->button, button(dialog, QStringLiteral("&Close")));
    QPointer<MemoryMsgBox> guard = dialog;
    button(dialog, QStringLiteral("&Close"))->click();
    QCOMPARE(closeSpy->size(), 1);
    QCOMPARE(keepSpy->size(), 0);
    QVERIFY(!dialog->isVisible());
    QTRY_VERIFY(guard.isNull());
    QVERIFY(close.isNull());
    QVERIFY(!QSettings().contains(QStringLiteral("vq-autostart-close")));
}

void tst_MemoryMsgBox::rememberedAnswer_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("closeClicks");
    QTest::addColumn<int>("keepClicks");
    QTest::newRow("continue working") << "Continue &working"
                                      << "0" << 0 << 1;
    QTest::newRow("close") << "&Close"
                           << "1" << 1 << 0;
}

// Ticked and answered: the value is stored under "vq-" and the name, in the store's own text; the next ask
// converts it back, answers at once, deletes both answers and shows nothing.
void tst_MemoryMsgBox::rememberedAnswer()
{
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QFETCH(int, closeClicks);
    QFETCH(int, keepClicks);
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), answers(), nullptr);
    MemoryMsgBox *dialog = openDialog();
    QVERIFY(dialog);
    dialog->findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->setChecked(true);
    button(dialog, chosen)->click();
    QCOMPARE(storedText(), stored);
    QFile ini(m_machine->path() + QLatin1String("/settings/Velmor/Agent.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("vq-autostart-close=" + stored.toLatin1()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QSignalSpy *closeSpy = nullptr;
    QSignalSpy *keepSpy = nullptr;
    const QList<MMButton *> list = answers(&closeSpy, &keepSpy);
    QPointer<MMButton> first = list.at(0);
    QPointer<MMButton> second = list.at(1);
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), list, nullptr);
    QVERIFY(!openDialog());
    QCOMPARE(closeSpy->size(), closeClicks);
    QCOMPARE(keepSpy->size(), keepClicks);
    QVERIFY(first.isNull());
    QVERIFY(second.isNull());
}

// Closed without an answer while ticked, the store holds a value no answer carries; so does a text that is no
// number. Both bring the dialog back. Two answers with the stored value both act.
void tst_MemoryMsgBox::closedWithoutAnswer()
{
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), answers(), nullptr);
    MemoryMsgBox *dialog = openDialog();
    QVERIFY(dialog);
    dialog->findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->setChecked(true);
    dialog->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QSettings().contains(QStringLiteral("vq-autostart-close")));
    QVERIFY(!QSettings().value(QStringLiteral("vq-autostart-close")).isValid());
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), answers(), nullptr);
    QVERIFY(openDialog());
    delete openDialog();

    QSettings().setValue(QStringLiteral("vq-autostart-close"), QStringLiteral("yes"));
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), answers(), nullptr);
    QVERIFY(openDialog());
    delete openDialog();

    QSettings().setValue(QStringLiteral("vq-autostart-close"), QStringLiteral("7"));
    auto a = new MMButton(QStringLiteral("A"), 7);
    auto b = new MMButton(QStringLiteral("B"), 7);
    QSignalSpy aSpy(a, &MMButton::clicked);
    QSignalSpy bSpy(b, &MMButton::clicked);
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"), QStringLiteral("Close?"), { a, b }, nullptr);
    QVERIFY(!openDialog());
    QCOMPARE(aSpy.size(), 1);
    QCOMPARE(bSpy.size(), 1);
}

void tst_MemoryMsgBox::lastFlaggedDefaultWins()
{
    MemoryMsgBox dialog(false, QStringLiteral("q"), QString(),
        { new MMButton(QStringLiteral("one"), 1), new MMButton(QStringLiteral("two"), 2, QIcon(), true),
            new MMButton(QStringLiteral("three"), 3, QIcon(), true), new MMButton(QStringLiteral("four"), 4) },
        nullptr);
    QVERIFY(button(&dialog, QStringLiteral("three"))->isDefault());
    QVERIFY(!button(&dialog, QStringLiteral("one"))->isDefault());
}

void tst_MemoryMsgBox::notice()
{
    MemoryMsgBox::inform(QStringLiteral("hint"), QStringLiteral("Note this."), nullptr);
    MemoryMsgBox *dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->text(),
        QStringLiteral("Don't show anymore"));
    QCOMPARE(dialog->windowIcon().pixmap(32).toImage(),
        dialog->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32).toImage());
    dialog->findChild<QCheckBox *>(QStringLiteral("ckRememberChoice"))->setChecked(true);
    button(dialog, QStringLiteral("&Close"))->click();
    QCOMPARE(QSettings().value(QStringLiteral("vq-hint")).toString(), QStringLiteral("1"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MemoryMsgBox::inform(QStringLiteral("hint"), QStringLiteral("Note this."), nullptr);
    QVERIFY(!openDialog());
}

QTEST_MAIN(tst_MemoryMsgBox)
#include "tst_memorymsgbox.moc"
