#include "modules/shell/status_surface.h"

#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <cmath>

namespace nimbra {

namespace {

// The locale's long date pattern without its year: the weekday, day and month stay in the
// locale's order with the locale's own separators.
QString dayMonthPattern(bool abbreviated)
{
    QString pattern = QLocale().dateFormat(QLocale::LongFormat);
    // The year with whatever joins it to its neighbours (a comma, a quoted word such as 'de',
    // a year word with its period such as Russian 'г'., a CJK year marker).
    static const QRegularExpression year(QStringLiteral("(\\s*'[^']*')?[\\s,./-]*y+(\\s*'[^']*'\\.?|[年년])?"));
    pattern.remove(year);
    static const QRegularExpression leading(QStringLiteral("^[\\s,./-]+"));
    static const QRegularExpression trailing(QStringLiteral("[\\s,/-]+$"));
    pattern.remove(leading);
    pattern.remove(trailing);
    if (abbreviated) {
        static const QRegularExpression wideDay(QStringLiteral("d{4,}"));
        static const QRegularExpression wideMonth(QStringLiteral("M{4,}"));
        pattern.replace(wideDay, QStringLiteral("ddd"));
        pattern.replace(wideMonth, QStringLiteral("MMM"));
    } else {
        // A month the locale writes as a number stays a number: Chinese, Japanese and Korean
        // put their month marker after it ("3月"), and a month name there would double it.
        static const QRegularExpression shortDay(QStringLiteral("(?<!d)d{3}(?!d)"));
        static const QRegularExpression shortMonth(QStringLiteral("(?<!M)M{3}(?!M)"));
        pattern.replace(shortDay, QStringLiteral("dddd"));
        pattern.replace(shortMonth, QStringLiteral("MMMM"));
    }
    // A locale whose long form lacks the weekday still shows one.
    if (!pattern.contains(QStringLiteral("ddd")))
        pattern = (abbreviated ? QStringLiteral("ddd ") : QStringLiteral("dddd ")) + pattern;
    return pattern;
}

// The locale's short time pattern with hours and minutes only: some locales (C among them)
// put seconds in their short form, which a clock that is redrawn per minute must not show.
QString hourMinutePattern()
{
    QString pattern = QLocale().timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.,\\s]?s+(\\.z+)?"));
    pattern.remove(seconds);
    // Time zones have no place on the clock either.
    static const QRegularExpression zone(QStringLiteral("\\s*t+"));
    pattern.remove(zone);
    return pattern.trimmed();
}

// The smallest rectangle inside `within` holding every pixel that is not fully transparent.
QRect inkedBounds(const QImage& image, const QRect& within)
{
    int left = within.right() + 1, right = within.left() - 1, top = within.bottom() + 1, bottom = within.top() - 1;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = within.left(); x <= within.right(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < left ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

StatusSurface::StatusSurface(const std::optional<PowerSnapshot>& snapshot, const QDateTime& now,
    const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories, const SurfaceMetrics& metrics,
    QWidget* parent)
    : QWidget(parent)
    , m_snapshot(snapshot)
    , m_now(now)
    , m_volume(volume)
    , m_accessories(accessories)
    , m_metrics(metrics)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QString StatusSurface::batterySymbol(const PowerSnapshot& s)
{
    if (s.isCharging)
        return QStringLiteral("battery.100percent.bolt");
    if (s.source == PowerSnapshot::Source::wallPower)
        return QStringLiteral("powerplug.fill");
    if (s.percentage <= 9)
        return QStringLiteral("battery.0percent");
    if (s.percentage <= 34)
        return QStringLiteral("battery.25percent");
    if (s.percentage <= 59)
        return QStringLiteral("battery.50percent");
    if (s.percentage <= 84)
        return QStringLiteral("battery.75percent");
    return QStringLiteral("battery.100percent");
}

QList<StatusSurface::Readout> StatusSurface::readouts(
    const std::optional<PowerSnapshot>& snapshot, const std::optional<SystemLevel>& volume, const NotchTheme& theme)
{
    QList<Readout> rows;
    if (snapshot) {
        const std::optional<QString> estimate = snapshot->estimateText();
        QColor tint = theme.primaryText();
        if (snapshot->isOnWallPower())
            tint = theme.good();
        else if (snapshot->percentage <= 20)
            tint = theme.bad();
        rows.append({ batterySymbol(*snapshot), QString::number(snapshot->percentage) + QLatin1Char('%'),
            estimate ? *estimate + QStringLiteral(" left") : snapshot->statusText(), tint });
    }
    if (volume && volume->isAvailable) {
        const int percent = volume->isMuted ? 0 : int(std::round(volume->value * 100));
        QString detail;
        if (const std::optional<QString> name = volume->detail())
            detail = *name;
        else
            detail = volume->isMuted ? QStringLiteral("Muted") : QStringLiteral("Volume");
        rows.append({ volume->symbol(), QString::number(percent) + QLatin1Char('%'), detail, theme.primaryText() });
    }
    return rows;
}

QList<StatusSurface::Readout> StatusSurface::accessoryReadouts(
    const DeviceBatteries& accessories, const NotchTheme& theme)
{
    QList<Readout> entries;
    for (const DeviceBattery& device : accessories.devices) {
        QColor tint = theme.secondaryText(0.7);
        if (device.isLow())
            tint = theme.bad();
        else if (device.isCharging)
            tint = theme.good();
        entries.append(
            { symbol(device.kind), QString::number(device.percentage) + QLatin1Char('%'), device.name, tint });
    }
    return entries;
}

QString StatusSurface::clockText(const QDateTime& now)
{
    return QLocale().toString(now.time(), hourMinutePattern());
}

QString StatusSurface::dateText(const QDateTime& now, double surfaceWidth)
{
    return QLocale().toString(now.date(), dayMonthPattern(surfaceWidth < 400));
}

double StatusSurface::clockSize(const SurfaceMetrics& m)
{
    const double byHeight = m.contentHeight() * 0.42;
    const double byWidth = m.size().width() * 0.17;
    return std::clamp(std::min(byHeight, byWidth), 22.0, 78.0);
}

std::optional<QRectF> StatusSurface::separatorRect(const QRectF& rect, const std::optional<PowerSnapshot>& snapshot,
    const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories, const SurfaceMetrics& m)
{
    if (!showsDetails(m) || (readouts(snapshot, volume, NotchTheme::dark()).isEmpty() && accessories.isEmpty()))
        return std::nullopt;
    const QRectF area = rect.adjusted(m.sidePadding(), 0, -m.sidePadding(), -m.space(10));
    const double gap = m.space(14);
    const double columnWidth = std::max(0.0, (area.width() - 2 * gap - 1) / 2);
    return QRectF(
        area.left() + columnWidth + gap, area.top() + m.space(4), 1, std::max(0.0, area.height() - 2 * m.space(4)));
}

void StatusSurface::paint(QPainter& p, const QRectF& rect, const std::optional<PowerSnapshot>& snapshot,
    const QDateTime& now, const std::optional<SystemLevel>& volume, const DeviceBatteries& accessories,
    const SurfaceMetrics& m, const NotchTheme& theme, bool drawSeparator)
{
    const QRectF area = rect.adjusted(m.sidePadding(), 0, -m.sidePadding(), -m.space(10));
    const bool details = showsDetails(m);
    const QList<Readout> rows = details ? readouts(snapshot, volume, theme) : QList<Readout>();
    const QList<Readout> strip = details ? accessoryReadouts(accessories, theme) : QList<Readout>();
    const double gap = m.space(14);
    const bool column = !rows.isEmpty() || !strip.isEmpty();
    // The clock and readout columns share what the separator and gaps leave.
    const double columnWidth = column ? std::max(0.0, (area.width() - 2 * gap - 1) / 2) : area.width();

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Clock column.
    QFont clockFont = theme.clock(clockSize(m));
    clockFont.setLetterSpacing(QFont::AbsoluteSpacing, theme.clockTracking());
    const FittedText clock = fitText(clockText(now), clockFont, columnWidth, 0.5);
    std::optional<FittedText> date;
    if (details)
        date = fitText(dateText(now, m.size().width()), systemFont(m.font(11), QFont::Medium), columnWidth, 0.7);
    const double clockHeight = clock.height() + (date ? m.space(2) + date->height() : 0);
    double y = area.center().y() - clockHeight / 2;
    drawFitted(p, clock, QPointF(area.left(), y), theme.primaryText());
    if (date) {
        y += clock.height() + m.space(2);
        drawFitted(p, *date, QPointF(area.left(), y), theme.secondaryText(0.5));
    }

    if (column) {
        const double separatorX = area.left() + columnWidth + gap;
        if (drawSeparator)
            p.fillRect(QRectF(separatorX, area.top() + m.space(4), 1, std::max(0.0, area.height() - 2 * m.space(4))),
                theme.well(0.16));

        const double left = separatorX + 1 + gap;
        const double symbolFrame = m.size(18);
        const double textLeft = left + symbolFrame + m.space(8);
        const double textWidth = std::max(0.0, area.right() - textLeft);
        const QFont valueFont = systemFont(m.font(14), QFont::DemiBold);
        const QFont detailFont = systemFont(m.font(9));
        QList<std::pair<FittedText, FittedText>> texts;
        double total = 0;
        for (const Readout& row : rows) {
            texts.append(
                { fitText(row.value, valueFont, textWidth, 0.75), fitText(row.detail, detailFont, textWidth, 0.75) });
            total += std::max(symbols::side(m.font(13)), texts.last().first.height() + texts.last().second.height());
        }
        total += m.space(8) * std::max<qsizetype>(0, rows.size() - 1);
        // The accessory strip: as many entries as the column holds, the most urgent first.
        const QFont stripFont = systemFont(m.font(10), QFont::DemiBold);
        const double stripSymbol = m.size(14);
        QList<std::pair<const Readout*, FittedText>> stripTexts;
        double stripWidth = 0;
        for (const Readout& entry : strip) {
            const FittedText value = fitText(entry.value, stripFont, textWidth, 1);
            const double width = stripSymbol + m.space(3) + value.width;
            const double needed = stripTexts.isEmpty() ? width : stripWidth + m.space(10) + width;
            if (needed > area.right() - left)
                break;
            stripWidth = needed;
            stripTexts.append({ &entry, value });
        }
        double stripHeight = 0;
        for (const auto& [entry, value] : stripTexts)
            stripHeight = std::max({ stripHeight, value.height(), symbols::side(m.font(10)) });
        if (stripHeight > 0)
            total += stripHeight + (rows.isEmpty() ? 0 : m.space(8));
        double rowTop = area.center().y() - total / 2;
        for (int i = 0; i < rows.size(); ++i) {
            const auto& [value, detail] = texts[i];
            const double rowHeight = std::max(symbols::side(m.font(13)), value.height() + detail.height());
            const double mid = rowTop + rowHeight / 2;
            symbols::draw(
                p, rows[i].symbol, QRectF(left, mid - rowHeight / 2, symbolFrame, rowHeight), m.font(13), rows[i].tint);
            const double textTop = mid - (value.height() + detail.height()) / 2;
            drawFitted(p, value, QPointF(textLeft, textTop), rows[i].tint);
            drawFitted(p, detail, QPointF(textLeft, textTop + value.height()), theme.secondaryText(0.42));
            rowTop += rowHeight + m.space(8);
        }
        if (rows.isEmpty())
            rowTop = area.center().y() - total / 2;
        double x = left;
        for (const auto& [entry, value] : stripTexts) {
            const double mid = rowTop + stripHeight / 2;
            symbols::draw(p, entry->symbol, QRectF(x, rowTop, stripSymbol, stripHeight), m.font(10), entry->tint);
            x += stripSymbol + m.space(3);
            drawFitted(p, value, QPointF(x, mid - value.height() / 2), entry->tint);
            x += value.width + m.space(10);
        }
    }
    p.restore();
}

void StatusSurface::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const NotchTheme theme = notchTheme(this);
    const double dpr = paintPixelRatio(p);
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    const std::optional<QRectF> separator
        = separatorRect(QRectF(rect()), m_snapshot, m_volume, m_accessories, m_metrics);
    if (m_drawnSize != pixels || m_drawnTheme != theme) {
        // Draw once, then keep only the inked parts of each column: a repaint blends little
        // more than the glyphs, however large the surface.
        QImage full(pixels, QImage::Format_ARGB32_Premultiplied);
        full.setDevicePixelRatio(dpr);
        full.fill(Qt::transparent);
        {
            QPainter cache(&full);
            paint(cache, QRectF(rect()), m_snapshot, m_now, m_volume, m_accessories, m_metrics, theme, false);
        }
        QList<QRect> columns { full.rect() };
        if (separator) {
            const int split = int(std::floor(separator->center().x() * dpr));
            columns = { QRect(0, 0, split, pixels.height()),
                QRect(split + 1, 0, pixels.width() - split - 1, pixels.height()) };
        }
        m_pieces.clear();
        for (const QRect& column : columns) {
            const QRect inked = inkedBounds(full, column);
            if (inked.isEmpty())
                continue;
            QPixmap piece = QPixmap::fromImage(full.copy(inked));
            piece.setDevicePixelRatio(dpr);
            m_pieces.append({ QPointF(inked.topLeft()) / dpr, piece });
        }
        m_drawnSize = pixels;
        m_drawnTheme = theme;
    }
    for (const auto& [origin, piece] : m_pieces)
        p.drawPixmap(origin, piece);
    if (separator)
        p.fillRect(*separator, theme.well(0.16));
}

} // namespace nimbra
