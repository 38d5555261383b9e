#pragma once

#include "core/device_battery.h"
#include "core/power_snapshot.h"
#include "core/system_level.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/surface_metrics.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <optional>

class QPainter;

namespace nimbra {

// The status tab: a large clock with the date, readouts for the battery and the output volume,
// and below them a strip with the charge of each connected accessory. It reads nothing
// itself; the shell hands in every value and rebuilds it on change.
class StatusSurface : public QWidget {
    Q_OBJECT
public:
    // One row of the readout column.
    struct Readout {
        QString symbol;
        QString value;
        QString detail;
        QColor tint;
        bool operator==(const Readout&) const = default;
    };

    StatusSurface(const std::optional<PowerSnapshot>& snapshot, const QDateTime& now,
        const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories, const SurfaceMetrics& metrics,
        QWidget* parent = nullptr);

    const std::optional<PowerSnapshot>& snapshot() const { return m_snapshot; }
    const QDateTime& now() const { return m_now; }
    const std::optional<SystemLevel>& volume() const { return m_volume; }
    const DeviceBatteries& accessories() const { return m_accessories; }
    const SurfaceMetrics& metrics() const { return m_metrics; }

    // The system symbol for a battery reading: charging wins over wall power, then the charge.
    static QString batterySymbol(const PowerSnapshot& snapshot);
    // The readouts in drawing order: battery (when there is a reading), then volume (when available).
    static QList<Readout> readouts(const std::optional<PowerSnapshot>& snapshot,
        const std::optional<SystemLevel>& volume, const NotchTheme& theme);
    // One entry of the accessory strip per device, most urgent first: its kind's symbol and its
    // charge, tinted bad while low, good while charging. The name is the entry's detail.
    static QList<Readout> accessoryReadouts(const DeviceBatteries& accessories, const NotchTheme& theme);
    // The time in the system locale's short form.
    static QString clockText(const QDateTime& now);
    // Weekday, day and month in the system locale's order: abbreviated below a surface width
    // of 400, wide from 400 up.
    static QString dateText(const QDateTime& now, double surfaceWidth);
    // Clock size for the surface: 0.42 of the content height or 0.17 of the width, within 22...78.
    static double clockSize(const SurfaceMetrics& metrics);
    // The date line and the readout column need a content height of 66.
    static bool showsDetails(const SurfaceMetrics& metrics) { return metrics.contentHeight() >= 66; }

    static void paint(QPainter& painter, const QRectF& rect, const std::optional<PowerSnapshot>& snapshot,
        const QDateTime& now, const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories,
        const SurfaceMetrics& metrics, const NotchTheme& theme, bool drawSeparator = true);
    // Where the separator between the clock and the readouts stands, when there is one.
    static std::optional<QRectF> separatorRect(const QRectF& rect, const std::optional<PowerSnapshot>& snapshot,
        const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories, const SurfaceMetrics& metrics);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::optional<PowerSnapshot> m_snapshot;
    QDateTime m_now;
    std::optional<SystemLevel> m_volume;
    DeviceBatteries m_accessories;
    SurfaceMetrics m_metrics;
    // Nothing here changes between rebuilds, so one drawing serves every repaint until the
    // theme, size or pixel density differs.
    QList<std::pair<QPointF, QPixmap>> m_pieces;
    QSize m_drawnSize;
    std::optional<NotchTheme> m_drawnTheme;
};

} // namespace nimbra
