#include "modules/timers/timer_surface_view.h"

#include "core/clamped.h"
#include "modules/shell/status_surface.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numeric>

namespace nimbra {

namespace {

constexpr double kRingSlide = 0.2;

QFont tabFont(const SurfaceMetrics& m, bool selected)
{
    return systemFont(m.font(10.5), selected ? QFont::DemiBold : QFont::Normal);
}

QFont chipFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(9.5), QFont::Medium);
}

QFont captionFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(10));
}

QString chipText(const TimerSurfaceView::Preset& preset)
{
    return QStringLiteral("+") + QString::fromLatin1(preset.label);
}

// Sized for the selected tab's heavier weight whether selected or not: choosing a mode moves
// no tab.
QSizeF tabSize(const SurfaceMetrics& m, TimerMode mode)
{
    const QFontMetricsF fm(tabFont(m, true));
    return { std::ceil(fm.horizontalAdvance(title(mode))) + 2 * m.space(9), std::ceil(fm.height()) + 2 * m.space(3) };
}

QSizeF chipSize(const SurfaceMetrics& m, const TimerSurfaceView::Preset& preset)
{
    const QFontMetricsF fm(chipFont(m));
    return { std::ceil(fm.horizontalAdvance(chipText(preset))) + 2 * m.space(7),
        std::ceil(fm.height()) + 2 * m.space(3) };
}

// Rectangles of the given widths in one row, `gap` apart, centred on `centre`.
QList<QRectF> centredRow(const QList<double>& widths, double height, double gap, QPointF centre)
{
    const double total
        = std::accumulate(widths.begin(), widths.end(), 0.0) + gap * std::max<qsizetype>(0, widths.size() - 1);
    double x = std::round(centre.x() - total / 2);
    const double y = std::round(centre.y() - height / 2);
    QList<QRectF> rects;
    for (double w : widths) {
        rects.append(QRectF(x, y, w, height));
        x += w + gap;
    }
    return rects;
}

// One of the view's buttons: a mode tab, a preset chip or a control, drawn in the notch's
// palette.
class TimerButton : public QAbstractButton {
public:
    enum class Kind { tab, chip, control };

    TimerButton(Kind kind, const SurfaceMetrics& metrics, QWidget* parent)
        : QAbstractButton(parent)
        , m_kind(kind)
        , m_metrics(metrics)
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }

    void setSelected(bool selected)
    {
        if (selected != m_selected) {
            m_selected = selected;
            update();
        }
    }
    bool isSelected() const { return m_selected; }
    void setProminent(bool prominent) { m_prominent = prominent; }
    void setSymbol(const QString& symbol, const QString& help)
    {
        if (symbol == m_symbol && help == toolTip())
            return;
        m_symbol = symbol;
        setToolTip(help);
        setAccessibleName(help);
        update();
    }
    const QString& symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const NotchTheme theme = notchTheme(this);
        const SurfaceMetrics& m = m_metrics;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QRectF r(rect());
        switch (m_kind) {
        case Kind::tab: {
            p.setBrush(theme.well(m_selected ? 0.18 : 0));
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
            p.setFont(tabFont(m, m_selected));
            p.setPen(m_selected ? theme.primaryText() : theme.secondaryText(0.45));
            p.drawText(r, Qt::AlignCenter, text());
            break;
        }
        case Kind::chip: {
            p.setBrush(theme.well(0.16));
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
            p.setFont(chipFont(m));
            p.setPen(theme.secondaryText(0.75));
            p.drawText(r, Qt::AlignCenter, text());
            break;
        }
        case Kind::control: {
            QColor glyph = theme.secondaryText(0.65);
            if (m_prominent) {
                QColor fill = theme.primaryText();
                fill.setAlphaF(fill.alphaF() * 0.92f);
                p.setBrush(fill);
                p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
                glyph = theme.surface();
            } else {
                p.setBrush(theme.well(0.14));
                p.drawRoundedRect(r, m.size(6), m.size(6));
            }
            symbols::draw(p, m_symbol, r, m_prominent ? m.font(13) : m.font(12), glyph,
                m_prominent ? QFont::DemiBold : QFont::Normal);
            break;
        }
        }
    }

private:
    Kind m_kind;
    SurfaceMetrics m_metrics;
    QString m_symbol;
    bool m_selected = false;
    bool m_prominent = false;
};

TimerButton* control(QAbstractButton* button)
{
    return static_cast<TimerButton*>(button);
}

QColor ringTint(const TimerSet& timers, TimerUrgency urgency, const NotchTheme& theme)
{
    if (urgency != TimerUrgency::calm)
        return theme.bad();
    if (timers.mode == TimerMode::pomodoro && timers.pomodoro.phase != Pomodoro::Phase::work)
        return theme.good();
    return theme.accent();
}

void paintRing(QPainter& p, const QRectF& box, double progress, const QColor& tint, const NotchTheme& theme)
{
    const double side = box.width();
    const double line = clamped(side * 0.11, 3.0, 9.0);
    const QRectF circle = box.adjusted(line / 2, line / 2, -line / 2, -line / 2);
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(theme.well(0.18), line, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawEllipse(circle);
    // From the top, clockwise; a bare dot at the top when nothing has elapsed yet.
    const double sweep = std::max(progress, 0.001) * 360.0;
    QPainterPath arc;
    arc.arcMoveTo(circle, 90);
    arc.arcTo(circle, 90, -sweep);
    p.setPen(QPen(tint, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arc);
    p.restore();
}

} // namespace

TimerSurfaceView::TimerSurfaceView(
    const TimerSet& timers, const SurfaceMetrics& metrics, Callbacks callbacks, Clocks clocks, QWidget* parent)
    : QWidget(parent)
    , m_timers(timers)
    , m_metrics(metrics)
    , m_callbacks(std::move(callbacks))
    , m_clocks(std::move(clocks))
{
    setAttribute(Qt::WA_TranslucentBackground);
    for (TimerMode mode : allCases<TimerMode>()) {
        auto* tab = new TimerButton(TimerButton::Kind::tab, metrics, this);
        tab->setText(title(mode));
        tab->setAccessibleName(title(mode));
        connect(tab, &QAbstractButton::clicked, this, [this, mode] {
            if (m_callbacks.onMode)
                m_callbacks.onMode(mode);
        });
        m_tabs.append(tab);
    }
    for (const Preset& preset : presets) {
        auto* chip = new TimerButton(TimerButton::Kind::chip, metrics, this);
        chip->setText(chipText(preset));
        chip->setAccessibleName(chipText(preset));
        const double seconds = preset.seconds;
        connect(chip, &QAbstractButton::clicked, this, [this, seconds] {
            if (m_callbacks.onAdjust)
                m_callbacks.onAdjust(seconds);
        });
        m_chips.append(chip);
    }
    auto* primary = new TimerButton(TimerButton::Kind::control, metrics, this);
    primary->setProminent(true);
    m_primary = primary;
    m_secondary = new TimerButton(TimerButton::Kind::control, metrics, this);
    auto* reset = new TimerButton(TimerButton::Kind::control, metrics, this);
    reset->setSymbol(QStringLiteral("arrow.counterclockwise"), QStringLiteral("Reset"));
    m_reset = reset;
    connect(m_primary, &QAbstractButton::clicked, this, [this] {
        if (m_callbacks.onPrimary)
            m_callbacks.onPrimary();
    });
    connect(m_secondary, &QAbstractButton::clicked, this, [this] {
        if (m_callbacks.onSecondary)
            m_callbacks.onSecondary();
    });
    connect(m_reset, &QAbstractButton::clicked, this, [this] {
        if (m_callbacks.onReset)
            m_callbacks.onReset();
    });

    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        update();
        scheduleRefresh();
    });
    sync();
}

// MARK: Rules

TimerUrgency TimerSurfaceView::urgency(const TimerSet& timers, double now)
{
    return timers.urgency(timers.mode, now);
}

std::optional<double> TimerSurfaceView::refreshInterval(const TimerSet& timers, double now)
{
    const TimerUrgency shown = urgency(timers, now);
    if (timers.mode == TimerMode::stopwatch)
        return timers.isRunning(TimerMode::stopwatch) ? std::optional(0.05) : std::nullopt;
    if (timers.isRunning(timers.mode))
        return shown == TimerUrgency::calm ? 0.2 : 0.08;
    // Nothing runs, yet a finished countdown blinks for as long as it is shown.
    if (shown == TimerUrgency::finished)
        return 0.08;
    return std::nullopt;
}

bool TimerSurfaceView::showsReset(const TimerSet& timers)
{
    if (timers.mode == TimerMode::pomodoro)
        return timers.isActive(TimerMode::pomodoro) || timers.pomodoro.completedWorkBlocks > 0;
    return timers.isActive(timers.mode);
}

std::optional<QString> TimerSurfaceView::caption(const TimerSet& timers, double now, const QDateTime& wallClock)
{
    switch (timers.mode) {
    case TimerMode::stopwatch: {
        const QList<Stopwatch::LapInterval> laps = timers.stopwatch.lapIntervals();
        if (!laps.isEmpty())
            return QStringLiteral("Lap %1   %2")
                .arg(laps.first().index)
                .arg(TimerFormat::stopwatch(laps.first().duration));
        // A blank line keeps the line's height.
        return timers.isRunning(TimerMode::stopwatch) ? QStringLiteral("Flag to record a lap") : QStringLiteral(" ");
    }
    case TimerMode::countdown: {
        if (timers.countdown.state == Countdown::State::idle)
            return std::nullopt;
        const qint64 ms = qint64(std::llround(timers.countdown.remaining(now) * 1000));
        return QStringLiteral("Ends at ") + StatusSurface::clockText(wallClock.addMSecs(ms));
    }
    case TimerMode::pomodoro:
        return std::nullopt;
    }
    return std::nullopt;
}

TimerSurfaceView::Layout TimerSurfaceView::layout(QSizeF size, const SurfaceMetrics& m, const TimerSet& timers)
{
    Layout result;
    const double side = m.sidePadding();
    const double width = size.width();
    const double height = size.height();

    QList<double> tabWidths;
    double tabHeight = 0;
    for (TimerMode mode : allCases<TimerMode>()) {
        const QSizeF s = tabSize(m, mode);
        tabWidths.append(s.width());
        tabHeight = std::max(tabHeight, s.height());
    }
    result.tabs = centredRow(tabWidths, tabHeight, m.space(3), QPointF(width / 2, tabHeight / 2));

    const bool withSupport = m.detail() != SurfaceMetrics::Detail::minimal;
    const double heroHeight = m.size(42);
    const double supportHeight = withSupport ? m.size(20) : 0;
    const double controlHeight = m.size(26);
    const QList<double> controlWidths { m.size(58), m.size(34), m.size(34) };
    const double controlsWidth
        = std::accumulate(controlWidths.begin(), controlWidths.end(), 0.0) + m.space(8) * (controlWidths.size() - 1);

    const double bottom = m.space(4);
    const double stackedNeed
        = tabHeight + m.space(3) + heroHeight + supportHeight + m.space(4) + controlHeight + bottom;
    result.stacked = stackedNeed <= height;
    if (result.stacked) {
        // The spare height goes in equal parts above the readout, above the controls and below.
        const double spare = (height - stackedNeed) / 3;
        double y = tabHeight + m.space(3) + spare;
        result.hero = QRectF(side, y, std::max(0.0, width - 2 * side), heroHeight);
        y += heroHeight;
        if (withSupport)
            result.support = QRectF(side, y, std::max(0.0, width - 2 * side), supportHeight);
        y += supportHeight + m.space(4) + spare;
        result.controls
            = centredRow(controlWidths, controlHeight, m.space(8), QPointF(width / 2, y + controlHeight / 2));
        return result;
    }
    // Side by side: the readout and its support line on the left, the controls on the right.
    const double top = tabHeight + m.space(3);
    const double band = std::max(0.0, height - top - bottom);
    const double readoutWidth = std::max(0.0, width - 2 * side - controlsWidth - m.space(12));
    const double stack = heroHeight + supportHeight;
    const double y = top + std::round((band - stack) / 2);
    result.hero = QRectF(side, y, readoutWidth, heroHeight);
    if (withSupport)
        result.support = QRectF(side, y + heroHeight, readoutWidth, supportHeight);
    result.controls = centredRow(
        controlWidths, controlHeight, m.space(8), QPointF(width - side - controlsWidth / 2, result.hero.center().y()));
    return result;
}

// MARK: Widget

bool TimerSurfaceView::adopt(const TimerSurfaceView& fresh)
{
    if (!(fresh.m_metrics == m_metrics))
        return false;
    const double shown = ringProgress();
    m_timers = fresh.m_timers;
    m_callbacks = fresh.m_callbacks;
    m_clocks = fresh.m_clocks;
    // A running ring creeps by itself; only a jump slides.
    const std::optional<double> target = countdownProgress(m_timers, m_clocks.withSleep());
    if (target && std::abs(*target - shown) > 0.01) {
        m_ringFrom = shown;
        m_ringStart = m_clocks.awake();
    }
    sync();
    return true;
}

std::optional<double> TimerSurfaceView::countdownProgress(const TimerSet& timers, double now)
{
    if (const Countdown* timer = timers.countdownOf(timers.mode))
        return timer->progress(now);
    return std::nullopt;
}

double TimerSurfaceView::ringProgress() const
{
    const double target = countdownProgress(m_timers, m_clocks.withSleep()).value_or(0);
    const double now = m_clocks.awake();
    if (m_ringStart < 0 || now - m_ringStart >= kRingSlide)
        return target;
    const double t = clamped((now - m_ringStart) / kRingSlide, 0.0, 1.0);
    return m_ringFrom + (target - m_ringFrom) * t;
}

void TimerSurfaceView::sync()
{
    const TimerMode mode = m_timers.mode;
    for (int i = 0; i < m_tabs.size(); ++i)
        control(m_tabs[i])->setSelected(allCases<TimerMode>()[i] == mode);
    const bool running = m_timers.isRunning(mode);
    control(m_primary)->setSymbol(running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
        running ? QStringLiteral("Pause") : QStringLiteral("Start"));
    switch (mode) {
    case TimerMode::stopwatch:
        control(m_secondary)->setSymbol(QStringLiteral("flag.fill"), QStringLiteral("Lap"));
        break;
    case TimerMode::countdown:
        control(m_secondary)->setSymbol(QStringLiteral("minus"), QStringLiteral("Take a minute off"));
        break;
    case TimerMode::pomodoro:
        control(m_secondary)->setSymbol(QStringLiteral("forward.end.fill"), QStringLiteral("Skip to the next phase"));
        break;
    }

    const Layout places = layout(QSizeF(size()), m_metrics, m_timers);
    for (int i = 0; i < m_tabs.size(); ++i)
        m_tabs[i]->setGeometry(places.tabs[i].toRect());
    m_primary->setGeometry(places.controls[0].toRect());
    m_secondary->setGeometry(places.controls[1].toRect());
    m_reset->setGeometry(places.controls[2].toRect());
    m_reset->setVisible(showsReset(m_timers));

    const bool chips
        = places.support && mode == TimerMode::countdown && m_timers.countdown.state == Countdown::State::idle;
    if (chips) {
        QList<double> widths;
        double chipHeight = 0;
        for (const Preset& preset : presets) {
            const QSizeF s = chipSize(m_metrics, preset);
            widths.append(s.width());
            chipHeight = std::max(chipHeight, s.height());
        }
        const QList<QRectF> rects = centredRow(widths, chipHeight, m_metrics.space(5), places.support->center());
        for (int i = 0; i < m_chips.size(); ++i)
            m_chips[i]->setGeometry(rects[i].toRect());
    }
    for (QAbstractButton* chip : m_chips)
        chip->setVisible(chips);
    scheduleRefresh();
    update();
}

void TimerSurfaceView::scheduleRefresh()
{
    const bool sliding = m_ringStart >= 0 && m_clocks.awake() - m_ringStart < kRingSlide;
    std::optional<double> interval = isVisible() ? refreshInterval(m_timers, m_clocks.withSleep()) : std::nullopt;
    if (sliding && isVisible())
        interval = std::min(interval.value_or(1.0), 1.0 / 60);
    if (interval)
        m_refresh.start(int(std::lround(*interval * 1000)));
    else
        m_refresh.stop();
}

void TimerSurfaceView::resizeEvent(QResizeEvent*)
{
    sync();
}

void TimerSurfaceView::showEvent(QShowEvent*)
{
    scheduleRefresh();
}

void TimerSurfaceView::hideEvent(QHideEvent*)
{
    m_refresh.stop();
}

void TimerSurfaceView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(rect()), m_timers, m_metrics, notchTheme(this), m_clocks.withSleep(), ringProgress());
}

void TimerSurfaceView::paint(QPainter& p, const QRectF& rect, const TimerSet& timers, const SurfaceMetrics& m,
    const NotchTheme& theme, double now, double ringProgress)
{
    const Layout places = layout(rect.size(), m, timers);
    const TimerUrgency shown = urgency(timers, now);
    const bool urgent = shown != TimerUrgency::calm;
    p.save();
    p.translate(rect.topLeft());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The readout, blinking while urgent.
    p.save();
    p.setOpacity(p.opacity() * shown.opacity(now));
    const QRectF hero = places.hero;
    if (const Countdown* timer = timers.countdownOf(timers.mode)) {
        const double ring = m.size(38);
        const double gap = m.space(12);
        const FittedText digits = fitText(TimerFormat::countdown(timer->remaining(now)),
            systemFont(m.font(30), QFont::Light, FontDesign::rounded), std::max(0.0, hero.width() - ring - gap), 0.5);
        const double rowWidth = ring + gap + digits.width;
        const double left = hero.center().x() - rowWidth / 2;
        paintRing(p, QRectF(left, hero.center().y() - ring / 2, ring, ring), ringProgress,
            ringTint(timers, shown, theme), theme);
        drawFitted(p, digits, QPointF(left + ring + gap, hero.center().y() - digits.height() / 2),
            urgent ? theme.bad() : theme.primaryText());
    } else {
        const FittedText digits = fitText(TimerFormat::stopwatch(timers.stopwatch.elapsed(now)),
            systemFont(m.font(34), QFont::Light, FontDesign::rounded), hero.width(), 0.5);
        drawFitted(p, digits, QPointF(hero.center().x() - digits.width / 2, hero.center().y() - digits.height() / 2),
            theme.primaryText());
    }
    p.restore();

    if (places.support) {
        const QRectF line = *places.support;
        if (timers.mode == TimerMode::pomodoro) {
            // The cycle as dots, then the phase's name.
            const int cycles = std::max(timers.pomodoro.configuration().cyclesBeforeLongBreak, 1);
            const int filled = timers.pomodoro.completedWorkBlocks % cycles;
            const double dot = m.size(5);
            const bool work = timers.pomodoro.phase == Pomodoro::Phase::work;
            const FittedText name
                = fitText(title(timers.pomodoro.phase), systemFont(m.font(10), QFont::Medium), line.width(), 1.0);
            const double dotsWidth = cycles * dot + (cycles - 1) * m.space(4);
            const double rowWidth = dotsWidth + m.space(8) + name.width;
            double x = line.center().x() - rowWidth / 2;
            p.setPen(Qt::NoPen);
            for (int i = 0; i < cycles; ++i) {
                p.setBrush(i < filled ? theme.accent() : theme.well(0.22));
                p.drawEllipse(QRectF(x, line.center().y() - dot / 2, dot, dot));
                x += dot + m.space(4);
            }
            x += m.space(8) - m.space(4);
            drawFitted(
                p, name, QPointF(x, line.center().y() - name.height() / 2), work ? theme.accent() : theme.good());
        } else if (const std::optional<QString> text = caption(timers, now, QDateTime::currentDateTime())) {
            const FittedText caption = fitText(*text, captionFont(m), line.width(), 1.0);
            drawFitted(p, caption,
                QPointF(line.center().x() - caption.width / 2, line.center().y() - caption.height() / 2),
                theme.secondaryText(0.45));
        }
    }
    p.restore();
}

} // namespace nimbra
