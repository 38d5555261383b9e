#pragma once

#include <QStringList>

namespace nimbra {

// What Nimbra holds of the keyboard, for the pages that tell it: the window asks the shell when
// it shows, when Nimbra comes to the front and when the shell says that it changed.
struct KeyboardStatus {
    // The media keys are Nimbra's now.
    bool mediaKeysTaken = false;
    // The media keys another program holds, by the desktop's names ("Volume Up").
    QStringList mediaKeysHeldElsewhere;
    // The clipboard's hot key is wanted, but another program holds it: it opens nothing.
    bool hotKeyHeldElsewhere = false;

    bool operator==(const KeyboardStatus&) const = default;

    // "Volume Up", "Volume Up and Mute", "Volume Up, Volume Down and Mute".
    static QString spoken(const QStringList& names)
    {
        if (names.size() < 2)
            return names.value(0);
        return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
    }
};

} // namespace nimbra
