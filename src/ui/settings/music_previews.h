#pragma once

#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"

#include <QRectF>
#include <QSizeF>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class QPainter;

namespace nimbra {

// The sample track of the music previews (and of onboarding's music scene).
struct MusicSample {
    static QString title() { return QStringLiteral("Harbour Lights"); }
    static QString artist() { return QStringLiteral("The Quiet Hours"); }
    static QString elapsed() { return QStringLiteral("1:57"); }
    static QString remaining() { return QStringLiteral("-1:43"); }
};

// The colours both music previews share.
struct PreviewColours {
    static QColor orange(const NotchTheme& theme);
    static QColor ink(const NotchTheme& theme);
    static QColor notchFill(const NotchTheme& theme);
    // The sample artist's colour.
    static QColor artist(const NotchTheme& theme);
};

// The sample track's title over its artist, at the given sizes, aligned left or centred in
// `box` (from its top). Returns the block's height.
double paintTitleBlock(QPainter& p, const QRectF& box, const NotchTheme& theme, double titleSize, double artistSize,
    Qt::Alignment alignment);
QSizeF titleBlockSize(double titleSize, double artistSize);

// A still picture of the open now-playing surface: artwork, title block, scrubber, transport
// and an equaliser. It is painted into a rectangle as wide as the surface's body, from its top.
struct MusicPreview {
    NotchTheme theme;
    bool showsResident = false;
    bool animatesEqualiser = false;

    // `t` is the equaliser's time when it animates.
    void paint(QPainter& p, const QRectF& rect, std::optional<double> t = std::nullopt) const;
};

// A looping six-second scene that acts out the music switches: the notch at rest while a
// track plays, the readout of a track change, and what follows (an indicator that stays, or
// nothing). Each frame is a function of the time; it wakes only when the beat turns, while
// the notch springs to a new size and while its equaliser plays, and never while unseen.
class MusicBehaviourDemo : public QWidget {
    Q_OBJECT
public:
    enum class Beat { rest, announce, after };

    MusicBehaviourDemo(const NotchTheme& theme, bool announcesTracks, bool staysVisible, QWidget* parent = nullptr);

    void setTheme(const NotchTheme& theme);
    void setBehaviour(bool announcesTracks, bool staysVisible);
    bool announcesTracks() const { return m_announces; }
    bool staysVisible() const { return m_stays; }

    // The beat at `t` seconds since 1 January 2001.
    static Beat beat(double t, bool announcesTracks);
    // Seconds from `t` to the next change of beat; none when the beat never changes.
    static std::optional<double> untilNextBeat(double t, bool announcesTracks);
    static QString caption(Beat beat, bool announcesTracks, bool staysVisible);
    static QSizeF notchSize(Beat beat, bool staysVisible);

    Beat currentBeat() const { return m_beat; }
    QString currentCaption() const { return caption(m_beat, m_announces, m_stays); }
    // Whether anything is scheduled: the next beat, spring frames or the equaliser.
    bool isTicking() const;

    // The scene's clock, in seconds since 1 January 2001 (tests hand in their own).
    std::function<double()> clock;

    QSize sizeHint() const override { return { 480, 118 }; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void sync(bool animated);
    void stopAll();
    void tickFrames();

    NotchTheme m_theme;
    bool m_announces;
    bool m_stays;
    bool m_shown = false;
    Beat m_beat = Beat::after;
    Beat m_previousBeat = Beat::after;
    double m_captionChangedAt = -1;
    SpringValue m_width;
    SpringValue m_height;
    QTimer m_beatTimer;
    QTimer m_equaliserTimer;
    FrameTimer m_frames;
};

} // namespace nimbra
