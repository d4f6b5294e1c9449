#include "app/appearance.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>

class tst_Appearance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void palette_data();
    void palette();
    void styleSheetJoinedExactly();
    void styleSheetReachesOnlyItsWidgets();
    void uncheckedBoxShowsItsSquare();
};

void tst_Appearance::initTestCase()
{
    applyPalette();
}

void tst_Appearance::palette_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("colour");
    const QList<QPair<QPalette::ColorRole, QString>> everywhere
        = { { QPalette::Link, "#659ebf" }, { QPalette::LinkVisited, "#659ebf" }, { QPalette::Base, "#ffffff" },
              { QPalette::Text, "#000000" }, { QPalette::Window, "#eeeeee" }, { QPalette::WindowText, "#000000" },
              { QPalette::Button, "#eeeeee" }, { QPalette::Dark, "#cccccc" } };
    for (const auto &entry : everywhere) {
        for (QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
            if (group == QPalette::Disabled && entry.first == QPalette::Text)
                continue;
            QTest::addRow("%d/%d", int(group), int(entry.first)) << int(group) << int(entry.first) << entry.second;
        }
    }
    // The disabled entries are set after the ones for every group, so they win.
    QTest::newRow("button text") << int(QPalette::Active) << int(QPalette::ButtonText) << "#222222";
    QTest::newRow("disabled button text") << int(QPalette::Disabled) << int(QPalette::ButtonText) << "#aaaaaa";
    QTest::newRow("disabled text") << int(QPalette::Disabled) << int(QPalette::Text) << "#aaaaaa";
}

void tst_Appearance::palette()
{
    QFETCH(int, group);
    QFETCH(int, role);
    QFETCH(QString, colour);
    QCOMPARE(QApplication::palette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role)).name(), colour);
}

void tst_Appearance::styleSheetJoinedExactly()
{
    const QStringList texts = {
        "BottomFrame { height: 70px; background: #659ebf;border-top: 1px solid #333; }",
        "QPushButton[vyrbutton=true] { color: palette(button-text);  min-height: 20px;  padding: 7px;  font-weight: "
        "bold;  font-size: 14px;  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,  stop:0 palette(button), stop: "
        "0.3 #fff, stop: 0.7 palette(button), stop:1 palette(dark));  border-radius: 10px;  border: 2px outset #999;}",
        "QPushButton[vyrbutton=true]:hover:pressed, QPushButton[vyrbutton=true]:pressed {  background: "
        "qlineargradient(x1:0, y1:0, x2:0, y2:1,  stop:0 palette(dark), stop: 0.3 palette(button), stop: 0.7 "
        "palette(button), stop:1 #fff);  border-style: inset;}",
        "QPushButton[vyrbutton=true]:hover {   background: qlineargradient(x1:0, y1:0, x2:0, y2:1,  stop:0 "
        "palette(button), stop: 0.5 #ffc, stop:1 palette(dark));}",
        "QPushButton[vyrbutton=true]:disabled { color: #aaa; }",
        "QPushButton[vyrbuttonsmall=true] { min-height: 14px; padding:5px; font-size:12px; }",
        "QCheckBox { color:palette(window-text); background-color:transparent; }",
        "QLineEdit { color:palette(text); background-color:palette(base); }",
        "QLineEdit:disabled { color:#aaa; }",
    };
    // No break between the first two texts, one after each of the texts 2 to 8, none at the end.
    QString expected = texts.at(0) + texts.at(1);
    for (int i = 2; i < texts.size(); ++i)
        expected += QLatin1Char('\n') + texts.at(i);
    QCOMPARE(applicationStyleSheet(), expected);
}

void tst_Appearance::styleSheetReachesOnlyItsWidgets()
{
    QPushButton plainBefore(QStringLiteral("Plain"));
    const QSize platformSize = plainBefore.sizeHint();
    qApp->setStyleSheet(applicationStyleSheet());

    QPushButton plain(QStringLiteral("Plain"));
    QPushButton large(QStringLiteral("Plain"));
    large.setProperty("vyrbutton", true);
    QLineEdit edit(QStringLiteral("text"));
    edit.setEnabled(false);
    plain.ensurePolished();
    large.ensurePolished();
    edit.ensurePolished();
    QCOMPARE(plain.sizeHint(), platformSize);
    QVERIFY(large.sizeHint().height() > platformSize.height());
    QCOMPARE(edit.palette().color(QPalette::Disabled, QPalette::Text).name(), QStringLiteral("#aaaaaa"));
    qApp->setStyleSheet(QString());
}

// Under the style sheet an unchecked box still draws a square that stands out from the window behind it.
void tst_Appearance::uncheckedBoxShowsItsSquare()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    applyStyle();
    QWidget window;
    QCheckBox box(QStringLiteral("Protect settings with password"), &window);
    window.resize(300, 40);
    box.move(10, 10);
    box.resize(box.sizeHint());
    window.ensurePolished();
    box.ensurePolished();
    const QImage picture = window.grab().toImage();
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect square = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box).translated(box.pos());
    const QColor background = picture.pixelColor(2, 2);
    int darker = 0;
    for (int y = square.top(); y <= square.bottom(); ++y) {
        for (int x = square.left(); x <= square.right(); ++x) {
            if (picture.pixelColor(x, y).lightness() + 40 < background.lightness())
                ++darker;
        }
    }
    QVERIFY2(darker >= square.width(), qPrintable(QStringLiteral("%1 outline pixels").arg(darker)));
    qApp->setStyleSheet(QString());
}

QTEST_MAIN(tst_Appearance)
#include "tst_appearance.moc"
