#include "core/settings_store.h"

#include <QSettings>
#include <QStringList>

namespace {
const QString organization = QStringLiteral("Zelmar");
const QString application = QStringLiteral("Duoscope");
const QString section = QStringLiteral("Duoscope");
} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             organization, application)) {
    // Refuse a direct, in-place write: the file is replaced whole or not at all.
    m_settings->setAtomicSyncRequired(true);
    m_settings->beginGroup(section);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::read(const QString& key, const QString& fallback) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return fallback;
    // An INI line with an unquoted comma reads as a list; give back its text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void SettingsStore::write(const QString& key, const QString& text) {
    m_settings->setValue(key, text);
}

bool SettingsStore::save() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString SettingsStore::fileName() const {
    return m_settings->fileName();
}
