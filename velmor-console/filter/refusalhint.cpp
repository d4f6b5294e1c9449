#include "refusalhint.h"

#include <QLabel>

QLabel *newRefusalHint(const QString &objectName, QWidget *parent)
{
    auto *hint = new QLabel(parent);
    hint->setObjectName(objectName);
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color:#c00;"));
    hint->hide();
    return hint;
}
