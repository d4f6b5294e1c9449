#include "filter/actionitemdelegeate.h"
#include "filter/actionwidgetitem.h"
#include "filter/easylistedit.h"

#include <QListWidget>
#include <QMap>
#include <QPaintEngine>
#include <QPainter>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

// A paint device that keeps each piece of text drawn on it with the box it takes, and draws nothing.
class TextRecorder : public QPaintDevice
{
public:
    struct Piece
    {
        QString text;
        QRectF box;
    };

    explicit TextRecorder(const QSize &size)
        : m_size(size)
        , m_engine(this)
    { }

    QPaintEngine *paintEngine() const override { return &m_engine; }
    QList<Piece> pieces;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        case PdmDepth:
            return 32;
        default:
            return 0;
        }
    }

private:
    class Engine : public QPaintEngine
    {
    public:
        explicit Engine(TextRecorder *device)
            : QPaintEngine(AllFeatures)
            , m_device(device)
        { }
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &) override { }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
        void drawTextItem(const QPointF &p, const QTextItem &item) override
        {
            const QPointF origin = painter()->transform().map(p);
            m_device->pieces.append({ item.text(),
                QRectF(origin.x(), origin.y() - item.ascent(), item.width(), item.ascent() + item.descent()) });
        }
        Type type() const override { return User; }

    private:
        TextRecorder *m_device;
    };

    QSize m_size;
    mutable Engine m_engine;
};

} // namespace

class tst_ActionItemDelegeate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void itemData();
    void rowText_data();
    void rowText();
    void sizeHint_data();
    void sizeHint();
    void iconDrawnWhereClicksFindIt_data();
    void iconDrawnWhereClicksFindIt();
    void longAliasKeepsItsAddress_data();
    void longAliasKeepsItsAddress();

private:
    QListWidget *list() const { return m_editor->findChild<QListWidget *>(QStringLiteral("lstDomains")); }
    ActionItemDelegeate *delegate() const { return static_cast<ActionItemDelegeate *>(list()->itemDelegate()); }
    QStyleOptionViewItem option() const;
    static int redPixels(const QImage &image, const QRect &area);

    std::unique_ptr<EasyListEdit> m_editor;
};

void tst_ActionItemDelegeate::init()
{
    m_editor = std::make_unique<EasyListEdit>(QStringLiteral("Aliases"), 2, QColor(), -1);
    m_editor->resize(260, 300);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void tst_ActionItemDelegeate::cleanup()
{
    m_editor.reset();
}

QStyleOptionViewItem tst_ActionItemDelegeate::option() const
{
    QStyleOptionViewItem option;
    option.initFrom(list());
    option.font = list()->font();
    return option;
}

int tst_ActionItemDelegeate::redPixels(const QImage &image, const QRect &area)
{
    int red = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 110 && c.blue() < 110;
        }
    }
    return red;
}

void tst_ActionItemDelegeate::itemData()
{
    ActionWidgetItem alias(7, QStringLiteral("router.example"), QHostAddress(QStringLiteral("10.0.0.1")), true);
    QCOMPARE(alias.type(), 0);
    QCOMPARE(alias.data(Qt::UserRole), QVariant(true));
    QCOMPARE(alias.data(Qt::UserRole + 1), QVariant(QStringLiteral("10.0.0.1")));
    QCOMPARE(alias.data(Qt::DisplayRole), QVariant(QStringLiteral("router.example")));
    ActionWidgetItem plain(8, QStringLiteral("plain.example"), QHostAddress(), false);
    QCOMPARE(plain.data(Qt::UserRole), QVariant(false));
    QCOMPARE(plain.data(Qt::UserRole + 1), QVariant(QString()));
}

void tst_ActionItemDelegeate::rowText_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");

    QTest::newRow("alias") << "192.0.2.7"
                           << "router.example (192.0.2.7)";
    QTest::newRow("no address") << QString() << "router.example";
}

void tst_ActionItemDelegeate::rowText()
{
    QFETCH(QString, address);
    QFETCH(QString, text);

    // A kept row asks for room for exactly its text on one line, which shows what it reads.
    m_editor->addAliasItem(1, QStringLiteral("router.example"), QHostAddress(address), false);
    const int textWidth = QFontMetrics(list()->font()).size(Qt::TextSingleLine, text).width();
    QCOMPARE(delegate()->sizeHint(option(), list()->model()->index(0, 0)).width(), textWidth + 12);
}

void tst_ActionItemDelegeate::sizeHint_data()
{
    QTest::addColumn<bool>("deletable");

    QTest::newRow("deletable") << true;
    QTest::newRow("kept") << false;
}

void tst_ActionItemDelegeate::sizeHint()
{
    QFETCH(bool, deletable);

    m_editor->addItem(1, QStringLiteral("a-rather-long-domain-name.example"), deletable);
    const QSize text
        = QFontMetrics(list()->font()).size(Qt::TextSingleLine, QStringLiteral("a-rather-long-domain-name.example"));
    const QSize icon = delegate()->iconSize();
    QCOMPARE(icon, QSize(16, 16));
    const QSize hint = delegate()->sizeHint(option(), list()->model()->index(0, 0));
    if (deletable)
        QCOMPARE(hint, QSize(icon.width() + 12, qMax(text.height(), icon.height()) + 10));
    else
        QCOMPARE(hint, QSize(text.width() + 12, text.height() + 10));
}

void tst_ActionItemDelegeate::iconDrawnWhereClicksFindIt_data()
{
    QTest::addColumn<qreal>("scale");

    QTest::newRow("scale 1") << 1.0;
    QTest::newRow("scale 2") << 2.0;
}

void tst_ActionItemDelegeate::iconDrawnWhereClicksFindIt()
{
    QFETCH(qreal, scale);

    m_editor->addItem(1, QStringLiteral("removable.example"), true);
    m_editor->addItem(2, QStringLiteral("kept.example"), false);
    QWidget *viewport = list()->viewport();
    // The view lays its rows out on its next turn.
    QTRY_VERIFY(!list()->visualItemRect(list()->item(1)).isEmpty());
    QCoreApplication::processEvents();
    QPixmap shot(viewport->size() * scale);
    shot.setDevicePixelRatio(scale);
    shot.fill(Qt::white);
    viewport->render(&shot);
    const QImage image = shot.toImage();
    const auto device = [scale](const QRect &logical) {
        return QRect((QRectF(logical).topLeft() * scale).toPoint(), logical.size() * scale);
    };

    const QRect removable = list()->visualItemRect(list()->item(0));
    const QRect icon = delegate()->iconRect(removable);
    QCOMPARE(icon.topLeft(), QPoint(removable.right() - 6 - 16, removable.top() + 5));
    // The icon is red and fills its square; nothing red beside it.
    QVERIFY(redPixels(image, device(icon)) > 30 * scale * scale);
    QCOMPARE(redPixels(image, device(icon.translated(-20, 0))), 0);
    const QRect kept = list()->visualItemRect(list()->item(1));
    QCOMPARE(redPixels(image, device(delegate()->iconRect(kept))), 0);
}

void tst_ActionItemDelegeate::longAliasKeepsItsAddress_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("elided");

    QTest::newRow("long") << "alias-01.a-very-long-subdomain-of-the-household.example" << true;
    QTest::newRow("short") << "alias.example" << false;
}

// As narrow as the filter editor's aliases column at its first size: the name has its own line and gives up its
// end, keeping the beginning that tells aliases apart; the address stays whole on the line below it. Nothing reaches
// the remove icon.
void tst_ActionItemDelegeate::longAliasKeepsItsAddress()
{
    QFETCH(QString, domain);
    QFETCH(bool, elided);

    m_editor->resize(200, 300);
    m_editor->addAliasItem(1, domain, QHostAddress(QStringLiteral("192.0.2.77")), true);
    QTRY_VERIFY(!list()->visualItemRect(list()->item(0)).isEmpty());
    QStyleOptionViewItem row = option();
    row.rect = list()->visualItemRect(list()->item(0));
    TextRecorder device(list()->viewport()->size());
    {
        QPainter painter(&device);
        painter.setFont(list()->font());
        delegate()->paint(&painter, row, list()->model()->index(0, 0));
    }
    // Line by line, from the top.
    QMap<int, QString> lines;
    const QRect icon = delegate()->iconRect(row.rect);
    for (const TextRecorder::Piece &piece : std::as_const(device.pieces)) {
        lines[qRound(piece.box.top())] += piece.text;
        QVERIFY2(piece.box.right() <= icon.left(), qPrintable(piece.text));
        QVERIFY2(row.rect.contains(piece.box.toAlignedRect()), qPrintable(piece.text));
    }
    const QString name = lines.first();
    QVERIFY2(name.startsWith(domain.left(20)), qPrintable(name));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.last(), QStringLiteral("192.0.2.77"));
    QCOMPARE(name.contains(QChar(0x2026)), elided);
    if (!elided)
        QCOMPARE(name, domain);

    // The pointer resting on the row shows the alias whole.
    const QPoint middle = row.rect.center();
    QHelpEvent hover(QEvent::ToolTip, middle, list()->viewport()->mapToGlobal(middle));
    QCoreApplication::sendEvent(list()->viewport(), &hover);
    QTRY_COMPARE(QToolTip::text(), domain + QLatin1String(" (192.0.2.77)"));
    QToolTip::hideText();
}

QTEST_MAIN(tst_ActionItemDelegeate)
#include "tst_actionitemdelegeate.moc"
