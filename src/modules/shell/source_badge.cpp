#include "modules/shell/source_badge.h"

#include "platform/xdg/desktop_entry.h"
#include "ui/surface/symbols.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <cmath>

namespace nimbra {

namespace {

// Found icons by desktop entry, for the whole process; failures are not kept.
QHash<QString, QIcon>& iconCache()
{
    static QHash<QString, QIcon> cache;
    return cache;
}

} // namespace

SourceBadge::SourceBadge(NowPlayingTrack::Source source, double size, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
    , m_size(size > 0 ? size : 13)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setToolTip(tooltip(source));
    const int side = int(std::ceil(m_size));
    resize(side, side);
}

void SourceBadge::setDesktopEntry(const QString& entry)
{
    if (entry == m_desktopEntry)
        return;
    m_desktopEntry = entry;
    update();
}

QStringList SourceBadge::desktopEntries(NowPlayingTrack::Source source)
{
    switch (source) {
    case NowPlayingTrack::Source::spotify:
        return { QStringLiteral("spotify"), QStringLiteral("com.spotify.Client"), QStringLiteral("spotify-client") };
    case NowPlayingTrack::Source::appleMusic:
        return { QStringLiteral("org.gnome.Music"), QStringLiteral("rhythmbox"),
            QStringLiteral("org.gnome.Rhythmbox3") };
    }
    return {};
}

QString SourceBadge::tooltip(NowPlayingTrack::Source source)
{
    return source == NowPlayingTrack::Source::spotify ? QStringLiteral("Spotify") : QStringLiteral("Music");
}

std::optional<QIcon> SourceBadge::icon(const QString& desktopEntry)
{
    QString entry = desktopEntry.trimmed();
    if (entry.endsWith(QLatin1String(".desktop")))
        entry.chop(8);
    const auto cached = iconCache().constFind(entry);
    if (cached != iconCache().cend())
        return *cached;

    // A name that could climb out of the applications folder is no desktop entry.
    const QString path = desktop_entry::locate(entry);
    if (path.isEmpty())
        return std::nullopt;
    const QString key = desktop_entry::value(path, QStringLiteral("Icon"));
    if (key.isEmpty())
        return std::nullopt;
    QIcon found;
    if (QFileInfo(key).isAbsolute()) {
        // Regular files only: an icon named as a FIFO would hold painting until a writer came.
        if (QFileInfo(key).isFile())
            found = QIcon(key);
    } else {
        found = QIcon::fromTheme(key);
    }
    if (found.isNull() || found.pixmap(QSize(32, 32)).isNull())
        return std::nullopt;
    iconCache().insert(entry, found);
    return found;
}

std::optional<QIcon> SourceBadge::icon(NowPlayingTrack::Source source, const QString& desktopEntry)
{
    if (!desktopEntry.isEmpty()) {
        if (std::optional<QIcon> reported = icon(desktopEntry))
            return reported;
    }
    for (const QString& entry : desktopEntries(source)) {
        if (std::optional<QIcon> found = icon(entry))
            return found;
    }
    return std::nullopt;
}

QSize SourceBadge::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

void SourceBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF((width() - m_size) / 2, (height() - m_size) / 2, m_size, m_size), m_source, m_desktopEntry);
}

void SourceBadge::paint(QPainter& p, const QRectF& frame, NowPlayingTrack::Source source, const QString& desktopEntry,
    const QColor& noteTint)
{
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (const std::optional<QIcon> found = icon(source, desktopEntry)) {
        // Fitted into the square, keeping its aspect ratio.
        found->paint(&p, frame.toAlignedRect(), Qt::AlignCenter);
    } else {
        symbols::draw(p, QStringLiteral("music.note"), frame, frame.width() * 0.8, noteTint);
    }
    p.restore();
}

} // namespace nimbra
