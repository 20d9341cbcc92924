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

    // What reading found: the stored text (nothing when the key holds no value), and, when the
    // file is there but could not be read (a folder in its place, a read error, bytes that are
    // not a settings file), a message naming the file and the reason.
    struct ReadResult {
        std::optional<QString> text;
        std::optional<QString> failure;
    };
    static ReadResult readChecked(const QString& application, const QString& section,
                                  const QString& key);

    // The stored text, or nothing when the key holds no value (or the file cannot be read).
    static std::optional<QString> read(const QString& application, const QString& section,
                                       const QString& key);

    // The stored text, or `defaultText` when the key holds no value.
    static QString read(const QString& application, const QString& section, const QString& key,
                        const QString& defaultText);

    // Where a copy of the file is kept before it is replaced: "<file>.bak", or "<file>.bak.2",
    // ".bak.3", ... when that name is taken.
    static QString backupPath(const QString& application);

    // Copies the file to backupPath(); does nothing when there is no file. On failure returns a
    // message that names the file, the copy and the reason.
    static std::optional<QString> keepCopy(const QString& application);

    // Writes the text, replacing what was there. On failure returns a message that names the
    // file and the reason; on success an empty optional.
    static std::optional<QString> write(const QString& application, const QString& section,
                                        const QString& key, const QString& text);
};

}  // namespace platform
