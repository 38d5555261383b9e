#include "platform/icon_theme.h"

#include <QIcon>
#include <QStandardPaths>

namespace nimbra {

void ensureIconTheme()
{
    static const bool once = [] {
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            const QString icons = dir + QStringLiteral("/icons");
            if (!paths.contains(icons))
                paths << icons;
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty())
            QIcon::setThemeName(QStringLiteral("hicolor"));
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    (void)once;
}

} // namespace nimbra
