#pragma once

#include "core/now_playing.h"

#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <optional>

class QPainter;

namespace nimbra {

// The small application icon of the player a track comes from. The icon is found through the
// player's desktop entry (the name its MPRIS service reports as DesktopEntry, else the usual
// entries of the source's player): the entry's Icon key, looked up in the icon theme or taken
// as a file. A found icon is kept for the whole process; a failed lookup is tried again at the
// next draw, so a player installed meanwhile shows up. Without an icon a music note is drawn.
class SourceBadge : public QWidget {
    Q_OBJECT
public:
    explicit SourceBadge(NowPlayingTrack::Source source, double size = 13, QWidget* parent = nullptr);

    NowPlayingTrack::Source source() const { return m_source; }
    double badgeSize() const { return m_size; }
    // The desktop entry the player reported (e.g. "spotify"); tried before the usual ones.
    void setDesktopEntry(const QString& entry);

    // The desktop entries tried for a source when the player named none.
    static QStringList desktopEntries(NowPlayingTrack::Source source);
    static std::optional<QIcon> icon(NowPlayingTrack::Source source, const QString& desktopEntry = {});
    // The icon behind one desktop entry name (with or without ".desktop").
    static std::optional<QIcon> icon(const QString& desktopEntry);
    // "Spotify" or "Music".
    static QString tooltip(NowPlayingTrack::Source source);

    QSize sizeHint() const override;

    // The badge drawn into the square `frame`, for views that paint it themselves; the music note
    // that stands in for a missing icon takes `noteTint`.
    static void paint(QPainter& painter, const QRectF& frame, NowPlayingTrack::Source source,
        const QString& desktopEntry = {}, const QColor& noteTint = QColor::fromRgbF(1, 1, 1, 0.6f));

protected:
    void paintEvent(QPaintEvent*) override;

private:
    NowPlayingTrack::Source m_source;
    double m_size;
    QString m_desktopEntry;
};

} // namespace nimbra
