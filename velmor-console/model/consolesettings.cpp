#include "consolesettings.h"

#include "platform/settingsstore.h"

namespace {

const QString firstStartKey = QStringLiteral("firststart");
const QString newVersionChecksKey = QStringLiteral("new-version-checks");
const QString geometryKey = QStringLiteral("mainwidget-geometry");
const QString languageKey = QStringLiteral("language");
const QString answerPrefix = QStringLiteral("vq-");

} // namespace

ConsoleSettings::ConsoleSettings() = default;

bool ConsoleSettings::isFirstStart() const
{
    return m_settings.value(firstStartKey, true).toBool();
}

void ConsoleSettings::setFirstStart(bool first)
{
    m_settings.setValue(firstStartKey, first);
}

bool ConsoleSettings::newVersionChecks() const
{
    return m_settings.value(newVersionChecksKey, true).toBool();
}

void ConsoleSettings::setNewVersionChecks(bool enabled)
{
    m_settings.setValue(newVersionChecksKey, enabled);
}

QRect ConsoleSettings::mainWidgetGeometry() const
{
    return m_settings.value(geometryKey).toRect();
}

void ConsoleSettings::setMainWidgetGeometry(const QRect &rect)
{
    m_settings.setValue(geometryKey, rect);
}

QString ConsoleSettings::language() const
{
    return Velmor::Platform::settingText(m_settings, languageKey);
}

QVariant ConsoleSettings::rememberedAnswer(const QString &question) const
{
    return m_settings.value(answerPrefix + question);
}

void ConsoleSettings::setRememberedAnswer(const QString &question, const QVariant &answer)
{
    m_settings.setValue(answerPrefix + question, answer);
}
