#pragma once

#include <QString>
#include <optional>

// Desktop entries (the freedesktop .desktop files that name and describe applications).
namespace nimbra::desktop_entry {

// The file of the entry `id` ("org.gnome.TextEditor", with or without ".desktop") in the
// applications folders; empty when there is none, or when the id could climb out of them.
QString locate(const QString& id);

// The unlocalised value of `key` in the file's [Desktop Entry] group; empty when absent.
QString value(const QString& path, const QString& key);

// The application's name as its entry gives it; none without an entry or a name. Answers are
// kept for the whole process, so lists can ask on every paint.
std::optional<QString> displayName(const QString& id);

} // namespace nimbra::desktop_entry
