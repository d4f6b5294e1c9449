#include "appearance.h"

#include "model/brand.h"
#include "model/consolesettings.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTranslator>

namespace {

QLocale configuredLocale()
{
    const QString language = ConsoleSettings().language();
    if (language.isEmpty() || language == QLatin1String("auto"))
        return QLocale::system();
    return QLocale(language);
}

// The style sheet's QCheckBox rule turns the box's window colour transparent, and styles that draw the square
// from it (Fusion among them) then draw only the tick: an unchecked box would not show at all. The square is
// drawn from the application palette instead, as the native style of the original platform did.
class IndicatorStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(
        PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const override
    {
        const auto button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (button && (element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton)) {
            QStyleOptionButton square(*button);
            square.palette = QApplication::palette();
            QProxyStyle::drawPrimitive(element, &square, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

} // namespace

QStringList translationDirectories()
{
    return { applicationDir() + QLatin1String("/translations"),
        QStringLiteral("%1/translations").arg(QDir::currentPath()) };
}

void installTranslators()
{
    const QLocale locale = configuredLocale();
    auto program = new QTranslator(qApp);
    const QStringList directories = translationDirectories();
    for (const QString &directory : directories) {
        if (program->load(locale, QStringLiteral("velmor-console"), QStringLiteral("_"), directory, QString())) {
            QCoreApplication::installTranslator(program);
            break;
        }
    }
    // Qt 6's "qt_<locale>" only names "qtbase_<locale>", which must stand in the same folder.
    auto library = new QTranslator(qApp);
    if (library->load(locale, QStringLiteral("qt"), QStringLiteral("_"), directories.first(), QString()))
        QCoreApplication::installTranslator(library);
}

void applyPalette()
{
    QPalette palette = QApplication::palette();
    palette.setBrush(QPalette::All, QPalette::Link, QColor(QStringLiteral("#659ebf")));
    palette.setBrush(QPalette::All, QPalette::LinkVisited, QColor(QStringLiteral("#659ebf")));
    palette.setBrush(QPalette::All, QPalette::Base, QColor(QStringLiteral("#ffffff")));
    palette.setBrush(QPalette::All, QPalette::Text, QColor(QStringLiteral("#000")));
    palette.setBrush(QPalette::All, QPalette::Window, QColor(QStringLiteral("#eee")));
    palette.setBrush(QPalette::All, QPalette::WindowText, QColor(QStringLiteral("#000")));
    palette.setBrush(QPalette::All, QPalette::Button, QColor(QStringLiteral("#eee")));
    palette.setBrush(QPalette::All, QPalette::ButtonText, QColor(QStringLiteral("#222")));
    palette.setBrush(QPalette::Disabled, QPalette::ButtonText, QColor(QStringLiteral("#aaa")));
    palette.setBrush(QPalette::Disabled, QPalette::Text, QColor(QStringLiteral("#aaa")));
    palette.setBrush(QPalette::All, QPalette::Dark, QColor(QStringLiteral("#ccc")));
    QApplication::setPalette(palette);
}

void applyStyle()
{
    if (!dynamic_cast<IndicatorStyle *>(QApplication::style()))
        QApplication::setStyle(new IndicatorStyle(QStyleFactory::create(QApplication::style()->name())));
    qApp->setStyleSheet(applicationStyleSheet());
}

QString applicationStyleSheet()
{
    return QStringLiteral(
        "BottomFrame { height: 70px; background: #659ebf;border-top: 1px solid #333; }"
        "QPushButton[vyrbutton=true] { color: palette(button-text);  min-height: 20px;  padding: 7px;  "
        "font-weight: bold;  font-size: 14px;  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,  "
        "stop:0 palette(button), stop: 0.3 #fff, stop: 0.7 palette(button), stop:1 palette(dark));  "
        "border-radius: 10px;  border: 2px outset #999;}\n"
        "QPushButton[vyrbutton=true]:hover:pressed, QPushButton[vyrbutton=true]:pressed {  "
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1,  stop:0 palette(dark), stop: 0.3 palette(button), "
        "stop: 0.7 palette(button), stop:1 #fff);  border-style: inset;}\n"
        "QPushButton[vyrbutton=true]:hover {   background: qlineargradient(x1:0, y1:0, x2:0, y2:1,  "
        "stop:0 palette(button), stop: 0.5 #ffc, stop:1 palette(dark));}\n"
        "QPushButton[vyrbutton=true]:disabled { color: #aaa; }\n"
        "QPushButton[vyrbuttonsmall=true] { min-height: 14px; padding:5px; font-size:12px; }\n"
        "QCheckBox { color:palette(window-text); background-color:transparent; }\n"
        "QLineEdit { color:palette(text); background-color:palette(base); }\n"
        "QLineEdit:disabled { color:#aaa; }");
}
