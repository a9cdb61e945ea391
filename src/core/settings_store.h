#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user settings: text values under the application's section of an
// INI file in the user's configuration folder
// ($XDG_CONFIG_HOME/Zelmar/Duoscope.ini, section [Duoscope]).
//
// Writes are collected and reach the file only through save(), which writes
// a complete new file beside the old one and renames it into place, so a
// crash during the write leaves the previous file whole.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text of `key`, or `fallback` when the key is absent.
    QString read(const QString& key, const QString& fallback) const;
    void write(const QString& key, const QString& text);
    // Writes the file; false when it could not be written.
    bool save();

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
