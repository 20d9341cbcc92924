#pragma once

#include <QString>
#include <optional>

namespace platform {

// The per-user settings store: one INI file per application in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), a group per section. An absent key is told from an empty
// value. The path is resolved on every call, so a changed XDG_CONFIG_HOME takes effect at once.
class SettingsStore {
  public:
    // Where the file of `application` lives ("<config>/Kestrune.ini").
    static QString filePath(const QString& application);

    // The stored text, or nothing when the key holds no value.
    static std::optional<QString> read(const QString& application, const QString& section,
                                       const QString& key);

    // The stored text, or `defaultText` when the key holds no value.
    static QString read(const QString& application, const QString& section, const QString& key,
                        const QString& defaultText);

    // Writes the text, replacing what was there. On failure returns a message that names the
    // file and the reason; on success an empty optional.
    static std::optional<QString> write(const QString& application, const QString& section,
                                        const QString& key, const QString& text);
};

}  // namespace platform
