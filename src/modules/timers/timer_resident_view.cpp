#include "modules/timers/timer_resident_view.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QPainter>
#include <cmath>

namespace nimbra {

const ModuleID TimerResident::moduleID { QStringLiteral("timer") };

namespace {

// Both readouts start below the notch and keep a margin at the sides and the bottom.
QRectF readoutArea(const QRectF& rect, const SurfaceMetrics& m)
{
    return QRectF(rect.left() + m.space(10), rect.top() + m.notchHeight(),
        std::max(0.0, rect.width() - 2 * m.space(10)), std::max(0.0, rect.height() - m.notchHeight() - m.space(5)));
}

} // namespace

// MARK: TimerResidentView

TimerResidentView::TimerResidentView(TimerMode mode, const QString& label, bool isRunning, TimerUrgency urgency,
    const SurfaceMetrics& metrics, QWidget* parent)
    : QWidget(parent)
    , m_mode(mode)
    , m_label(label)
    , m_isRunning(isRunning)
    , m_urgency(urgency)
    , m_metrics(metrics)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_blink.setInterval(blinkIntervalMs);
    m_blink.setTimerType(Qt::PreciseTimer);
    connect(&m_blink, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

QString TimerResidentView::titleText(TimerMode mode, bool isRunning)
{
    return isRunning ? title(mode) : title(mode) + QStringLiteral(" · paused");
}

bool TimerResidentView::adopt(const TimerResidentView& fresh)
{
    if (!(fresh.m_metrics == m_metrics))
        return false;
    m_mode = fresh.m_mode;
    m_label = fresh.m_label;
    m_isRunning = fresh.m_isRunning;
    m_urgency = fresh.m_urgency;
    syncBlink();
    update();
    return true;
}

void TimerResidentView::syncBlink()
{
    if (isVisible() && m_urgency.isBlinking())
        m_blink.start();
    else
        m_blink.stop();
}

void TimerResidentView::showEvent(QShowEvent*)
{
    syncBlink();
}

void TimerResidentView::hideEvent(QHideEvent*)
{
    m_blink.stop();
}

void TimerResidentView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(rect()), m_mode, m_label, m_isRunning, m_urgency, m_metrics, notchTheme(this), uptime());
}

void TimerResidentView::paint(QPainter& p, const QRectF& rect, TimerMode mode, const QString& label, bool isRunning,
    TimerUrgency urgency, const SurfaceMetrics& m, const NotchTheme& theme, double now)
{
    const bool urgent = urgency != TimerUrgency::calm;
    const QColor tint = urgent ? theme.bad() : isRunning ? theme.accent() : QColor();
    const QColor titleColour = tint.isValid() ? tint : theme.secondaryText(0.55);
    const QColor symbolColour = tint.isValid() ? tint : theme.secondaryText(0.5);
    const QColor labelColour = urgent ? theme.bad() : theme.primaryText();

    const QRectF area = readoutArea(rect, m);
    const double symbolSide = symbols::side(m.font(23));
    const double gap = m.space(9);
    const FittedText titleLine
        = fitText(titleText(mode, isRunning), systemFont(m.font(12), QFont::DemiBold), area.width(), 1.0);
    const FittedText time = fitText(label, systemFont(m.font(26), QFont::Medium, FontDesign::rounded),
        std::max(0.0, area.width() - symbolSide - gap), 0.5);
    const double rowHeight = std::max(symbolSide, time.height());
    const double stack = titleLine.height() + m.space(2) + rowHeight;

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(p.opacity() * urgency.opacity(now));
    double y = area.center().y() - stack / 2;
    drawFitted(p, titleLine, QPointF(area.center().x() - titleLine.width / 2, y), titleColour);
    y += titleLine.height() + m.space(2);
    const double rowWidth = symbolSide + gap + time.width;
    const double left = area.center().x() - rowWidth / 2;
    symbols::draw(p, symbol(mode), QRectF(left, y, symbolSide, rowHeight), m.font(23), symbolColour, QFont::Light);
    drawFitted(p, time, QPointF(left + symbolSide + gap, y + (rowHeight - time.height()) / 2), labelColour);
    p.restore();
}

// MARK: TimerFinishedView

TimerFinishedView::TimerFinishedView(QList<TimerFinish> finishes, const SurfaceMetrics& metrics, std::uint64_t identity,
    std::function<double()> clock, QWidget* parent)
    : QWidget(parent)
    , m_finishes(std::move(finishes))
    , m_metrics(metrics)
    , m_identity(identity)
    , m_clock(clock ? std::move(clock) : std::function<double()>(uptime))
{
    if (m_finishes.isEmpty())
        m_finishes.append(TimerFinish {});
    setAttribute(Qt::WA_TranslucentBackground);
    landAgain();
    m_swing.setSingleShot(true);
    m_swing.setTimerType(Qt::PreciseTimer);
    connect(&m_swing, &QTimer::timeout, this, [this] {
        followTurn();
        update();
        scheduleSwing();
    });
}

TimerFinishedView::TimerFinishedView(
    const TimerFinish& finish, const SurfaceMetrics& metrics, std::uint64_t identity, QWidget* parent)
    : TimerFinishedView(QList<TimerFinish> { finish }, metrics, identity, {}, parent)
{
}

void TimerFinishedView::followTurn()
{
    if (shownIndex() != m_landed) {
        landAgain();
        m_landing->begin();
    }
}

void TimerFinishedView::landAgain()
{
    m_landed = shownIndex();
    m_landing = std::make_unique<Landing>(landingSpring);
    m_landing->onFrame = [this] { update(); };
}

qsizetype TimerFinishedView::shownIndex() const
{
    if (!m_shownAt)
        return 0;
    const double turns = std::floor((m_clock() - *m_shownAt) / eachFor);
    return qsizetype(clamped(turns, 0.0, double(m_finishes.size() - 1)));
}

const TimerFinish& TimerFinishedView::finish() const
{
    return m_finishes[shownIndex()];
}

bool TimerFinishedView::isLit(double now)
{
    const auto k = static_cast<long long>(std::floor(now * 4));
    return ((k % 4) + 4) % 4 < 2;
}

double TimerFinishedView::tilt(double now)
{
    const auto k = static_cast<long long>(std::floor(now * 4));
    return k % 2 != 0 ? swingDegrees : -swingDegrees;
}

bool TimerFinishedView::adopt(const TimerFinishedView& fresh)
{
    const bool sameAnnouncement = fresh.m_identity == 0 || fresh.m_identity == m_identity;
    return sameAnnouncement && fresh.m_finishes == m_finishes && fresh.m_metrics == m_metrics;
}

void TimerFinishedView::scheduleSwing()
{
    // Woken exactly at the next quarter second, when the bell swings again.
    const double now = m_clock();
    const double next = (std::floor(now * 4) + 1) / 4;
    m_swing.start(std::max(1, int(std::ceil((next - now) * 1000))));
}

void TimerFinishedView::showEvent(QShowEvent*)
{
    if (!m_shownAt)
        m_shownAt = m_clock();
    m_landing->begin();
    scheduleSwing();
}

void TimerFinishedView::hideEvent(QHideEvent*)
{
    m_swing.stop();
    m_landing->stop();
}

void TimerFinishedView::paintEvent(QPaintEvent*)
{
    followTurn();
    QPainter p(this);
    const double now = m_clock();
    paint(p, QRectF(rect()), m_finishes[m_landed], m_metrics, notchTheme(this), m_landing->value(), isLit(now),
        tilt(now));
}

void TimerFinishedView::paint(QPainter& p, const QRectF& rect, const TimerFinish& finish, const SurfaceMetrics& m,
    const NotchTheme& theme, double landing, bool lit, double tilt)
{
    const QRectF area = readoutArea(rect, m);
    const double bellSide = symbols::side(m.font(22));
    const double gap = m.space(11);
    const double textWidth = std::max(0.0, area.width() - bellSide - gap);
    const FittedText title = fitText(finish.title, systemFont(m.font(13), QFont::DemiBold), textWidth, 1.0);
    const FittedText detail = fitText(finish.detail, systemFont(m.font(10)), textWidth, 1.0);
    const double textHeight = title.height() + 1 + detail.height();
    const double rowWidth = bellSide + gap + std::max(title.width, detail.width);
    const double rowHeight = std::max(bellSide, textHeight);
    const QPointF centre = area.center();
    const double left = centre.x() - rowWidth / 2;
    const double top = centre.y() - rowHeight / 2;

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Invisible and at 86 % before landing; then fully lit or dimmed to 0.4.
    const double progress = std::max(landing, 0.0);
    p.setOpacity(p.opacity() * clamped(progress, 0.0, 1.0) * (lit ? 1.0 : 0.4));
    const double scale = 0.86 + 0.14 * progress;
    p.translate(centre);
    p.scale(scale, scale);
    p.translate(-centre);
    {
        // The bell hangs from its top centre.
        const QRectF bell(left, centre.y() - bellSide / 2, bellSide, bellSide);
        p.save();
        p.translate(bell.center().x(), bell.top());
        p.rotate(tilt);
        p.translate(-bell.center().x(), -bell.top());
        symbols::draw(p, QStringLiteral("bell.fill"), bell, m.font(22), theme.accent(), QFont::Medium);
        p.restore();
    }
    const double textLeft = left + bellSide + gap;
    const double textTop = top + (rowHeight - textHeight) / 2;
    drawFitted(p, title, QPointF(textLeft, textTop), theme.primaryText());
    drawFitted(p, detail, QPointF(textLeft, textTop + title.height() + 1), theme.secondaryText(0.5));
    p.restore();
}

} // namespace nimbra
