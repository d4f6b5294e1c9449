#include "mmbutton.h"

MMButton::MMButton(const QString &text, const QVariant &value, const QIcon &icon, bool isDefault)
    : isDefault(isDefault)
    , text(text)
    , icon(icon)
    , value(value)
    , button(nullptr)
{ }

MMButton::~MMButton() = default;
