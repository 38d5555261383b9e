#pragma once

#include "core/notch_geometry.h"
#include "core/system_level.h"
#include "ui/settings/settings_view.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;

namespace nimbra {

class SegmentedControl;

// A live model of the notch: the notch of the user's display drawn to scale on a mock desktop,
// at rest, showing a readout or open, with an optional state picker and the shape's
// dimensions under it. Shape changes spring into place. It never draws the notch larger than
// life: when the stage is too small, the whole picture shrinks (to a quarter at least) and a
// badge says by how much.
class NotchStage : public QWidget {
    Q_OBJECT
public:
    using State = NotchStageState;

    // The sample of the readout state: a level reading, or (none) a fixed charging sample.
    struct Readout {
        std::optional<SystemLevel> level;
        static Readout charge() { return {}; }
        static Readout of(const SystemLevel& level) { return { level }; }
        bool operator==(const Readout&) const = default;
    };

    // The shape of one state: the body (the notch's own width), its height and radii. The
    // outline's flares add a top radius on each side.
    struct Shape {
        double bodyWidth = 0;
        double height = 0;
        double topRadius = 0;
        double bottomRadius = 0;
        double outerWidth() const { return bodyWidth + 2 * topRadius; }
        bool operator==(const Shape&) const = default;
    };

    static constexpr int stageHeight = 236;

    NotchStage(const NotchGeometry& geometry, const LayoutMetrics& layout, const NotchTheme& theme, State state,
        bool showsPicker, Readout readout, QWidget* parent = nullptr);

    State state() const { return m_state; }
    // Moves to a state (springing); does not call onStateChange.
    void setState(State state);
    void setNotchLayout(const LayoutMetrics& layout);
    void setTheme(const NotchTheme& theme);
    void setReadout(const Readout& readout);
    const NotchGeometry& notchGeometry() const { return m_geometry; }
    const LayoutMetrics& notchLayout() const { return m_layout; }
    const NotchTheme& theme() const { return m_theme; }

    // The picker chose a state.
    std::function<void(State)> onStateChange;

    static Shape shape(State state, const NotchGeometry& geometry, const LayoutMetrics& layout);
    // The scale that fits a shape with the menu bar into an available size: never above 1,
    // never below 0.25.
    static double fittingScale(QSizeF available, double menuBarHeight, const Shape& shape);
    static QString dimensionText(State state, const NotchGeometry& geometry, const LayoutMetrics& layout);
    static QString title(State state);
    // "shown at 62%" while the stage draws below full size, else empty.
    static QString badgeText(double scale);

    // What the stage shows right now.
    double scale() const;
    QWidget* canvas() const;
    SegmentedControl* picker() const { return m_picker; }
    QLabel* dimensionLabel() const { return m_dimensions; }
    bool isAnimating() const { return m_frames.isActive(); }

private:
    class Canvas;
    void retarget(bool animated);
    Shape currentShape() const;

    NotchGeometry m_geometry;
    LayoutMetrics m_layout;
    NotchTheme m_theme;
    State m_state;
    Readout m_readout;
    SpringValue m_bodyWidth;
    SpringValue m_height;
    SpringValue m_topRadius;
    SpringValue m_bottomRadius;
    FrameTimer m_frames;
    Canvas* m_canvas;
    SegmentedControl* m_picker = nullptr;
    QLabel* m_dimensions = nullptr;
};

// A readout tile that chooses which level kind a stage shows: the level's readout on a mock
// notch fill, ringed in the accent colour while its kind is the chosen one.
class LevelChoiceTile : public QAbstractButton {
    Q_OBJECT
public:
    LevelChoiceTile(const SystemLevel& level, const NotchTheme& theme, bool chosen, QWidget* parent = nullptr);

    const SystemLevel& level() const { return m_level; }
    bool isChosen() const { return m_chosen; }
    void setChosen(bool chosen);
    void setTheme(const NotchTheme& theme);
    // The reading a tile shows for a kind: the live one (volume for volume, brightness for any
    // other kind), else an unavailable level of that kind.
    static SystemLevel shownLevel(SystemLevel::Kind kind, const LiveLevels& levels);
    static QString helpText(SystemLevel::Kind kind);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    SystemLevel m_level;
    NotchTheme m_theme;
    bool m_chosen;
};

} // namespace nimbra
