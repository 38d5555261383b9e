#pragma once

#include "core/power_snapshot.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QColor>
#include <QString>
#include <QWidget>

class QPainter;

namespace nimbra {

struct NotchTheme;

// The thin capsule bar of the charge readout: a faint track and a gradient fill, never
// narrower than 3 pt.
struct LevelBar {
    double fraction = 0; // 0...1
    QColor tint;

    static constexpr double minimumFill = 3;
    double fillWidth(double width) const;
    void paint(QPainter& painter, const QRectF& rect) const;
};

// The readout shown when the charger is connected or removed, the battery becomes charged or
// the charge falls to a low-battery level. When first shown it lands in one spring: the row
// and the bar fade in, the icon grows, a glow ring expands and fades, the bar fills.
class ChargeActivityView : public QWidget {
    Q_OBJECT
public:
    struct Kind {
        enum class Case { low, connected, holding, disconnected, charged };
        Case kind = Case::connected;
        int level = 0; // the low-battery level crossed; only meaningful for `low`

        static Kind low(int level) { return { Case::low, level }; }
        static Kind connected() { return { Case::connected, 0 }; }
        static Kind holding() { return { Case::holding, 0 }; }
        static Kind disconnected() { return { Case::disconnected, 0 }; }
        static Kind charged() { return { Case::charged, 0 }; }

        QString title() const;
        QString symbol() const;
        QColor tint() const;
        bool hasGlow() const;

        friend bool operator==(const Kind& a, const Kind& b)
        {
            return a.kind == b.kind && (a.kind != Case::low || a.level == b.level);
        }
    };

    ChargeActivityView(
        const Kind& kind, const PowerSnapshot& snapshot, const SurfaceMetrics& metrics, QWidget* parent = nullptr);

    const Kind& kind() const { return m_kind; }
    const PowerSnapshot& snapshot() const { return m_snapshot; }
    bool isLanded() const { return m_landing.hasBegun(); }
    // True while the landing still moves (its frame timer runs only then).
    bool isAnimating() const { return m_landing.isMoving(); }

    // One frame at landing progress `progress` (0 before landing, 1 landed; the spring may
    // carry it a little past 1).
    static void paint(QPainter& painter, const QRectF& rect, const Kind& kind, const PowerSnapshot& snapshot,
        const SurfaceMetrics& metrics, const NotchTheme& theme, double progress);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    Kind m_kind;
    PowerSnapshot m_snapshot;
    SurfaceMetrics m_metrics;
    Landing m_landing;
};

} // namespace nimbra
