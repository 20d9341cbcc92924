#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

class QWidget;

namespace platform {
class RandomSource;
class UrlOpener;
}  // namespace platform

namespace common {
class SkinFramework;
}

// The program's shared helper routines. Helpers without a trap of their own throw common::Failure;
// the caller's error trap reports it under the caller's name and line.
namespace common::Main {

inline constexpr char kDisplayName[] = "Morrowlin";
inline constexpr char kWebSite[] = "https://www.kestrune.example/";
inline constexpr char kContactPage[] = "https://www.kestrune.example/contact";
inline constexpr int kTitleLimit = 40;

// The folder of the executable; its optional files are found by name below it.
QString programFolder();
// `folder` joined with `name` ("HAND-M.CUR", "x/o.cjs") by the native separator.
QString pathIn(const QString& folder, const QString& name);

// True when the file's last-modified time can be read; never fails.
bool FileExists(const QString& path);

// Lets pending window events run, then writes `bytes` as a new file at `path`, unless a file of
// that name exists already (then it is left untouched). Throws common::Failure when the file cannot
// be written; a failed write leaves no partial file. The file is a working copy: it is not forced
// to the disk. It is made readable and writable by the user alone, under a fresh name that takes
// `path` only while nothing is there: a name taken meanwhile, by a link too, is never written
// through.
void WriteNewFile(const QByteArray& bytes, const QString& path);

// Lets pending window events run, then deletes the file; every failure is ignored. A link is
// removed itself, never what it points to, and a file or link of another account's is left alone.
void DeleteFileQuietly(const QString& path);

// The window and its option buttons, check boxes, frames and labels take the button-face colour.
void SetFormColors(QWidget* window);

// Applies the skin file "x/o.cjs" of `folder` to `mainWindow` through `skin` when the file is
// there; does nothing otherwise.
void ApplySkin(QWidget* mainWindow, common::SkinFramework& skin, const QString& folder);

// The application title for a display name: the name without its last word, shortened further by
// whole words while longer than 40 characters. A name without a space is kept whole.
QString ApplicationTitleFor(const QString& displayName);

// Sets the application title (the title of message boxes shown without one) from "Morrowlin".
void SetApplicationTitle();

// Opens the maker's web site on about one start in a hundred (when the drawn n of 1..100 is 7).
// Returns whether it opened it.
bool OpenWebSiteAtRandom(platform::RandomSource& random, platform::UrlOpener& shell);

// The button-face colour every helper here sets.
QColor buttonFaceColor();
// Gives `widget` a solid background of `color`.
void setBackgroundColor(QWidget* widget, const QColor& color);
QColor backgroundColor(const QWidget* widget);

}  // namespace common::Main
