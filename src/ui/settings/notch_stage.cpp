#include "ui/settings/notch_stage.h"

#include "core/uptime.h"
#include "ui/settings/music_previews.h"
#include "ui/settings/preview_paint.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <cmath>

namespace nimbra {

using namespace settings_style;
using preview_paint::grey;

namespace {

constexpr Spring kShapeSpring { 0.3, 0.85 };
constexpr double kMinimumMenuBar = 22;

double menuBarHeight(const NotchGeometry& geometry)
{
    return std::max(geometry.menuBarHeight(), kMinimumMenuBar);
}

// The fixed charging sample: a bolt, "80%" and "Charging", centred on one line.
void paintChargeSample(QPainter& p, const QRectF& box, bool dark)
{
    const QFont percentFont = systemFont(13, QFont::DemiBold);
    const QFont labelFont = systemFont(11);
    const QString percent = QStringLiteral("80%");
    const QString label = QStringLiteral("Charging");
    const double bolt = symbols::side(12);
    const double percentWidth = QFontMetricsF(percentFont).horizontalAdvance(percent);
    const double labelWidth = QFontMetricsF(labelFont).horizontalAdvance(label);
    const double total = bolt + 8 + percentWidth + 8 + labelWidth;
    double x = box.center().x() - total / 2;
    const double midY = box.center().y();
    symbols::draw(p, QStringLiteral("bolt.fill"), QRectF(x, midY - bolt / 2, bolt, bolt), 12, preview_paint::good(dark),
        QFont::DemiBold);
    x += bolt + 8;
    const QColor ink = dark ? grey(1) : grey(0.09);
    p.setFont(percentFont);
    p.setPen(ink);
    p.drawText(QRectF(x, box.top(), percentWidth + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, percent);
    x += percentWidth + 8;
    QColor faint = ink;
    faint.setAlphaF(0.6f);
    p.setFont(labelFont);
    p.setPen(faint);
    p.drawText(QRectF(x, box.top(), labelWidth + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, label);
}

double chargeSampleHeight()
{
    return std::max({ symbols::side(12), QFontMetricsF(systemFont(13, QFont::DemiBold)).height(),
        QFontMetricsF(systemFont(11)).height() });
}

} // namespace

// The picture itself: desktop, menu bar and the notch with its contents, scaled to fit.
class NotchStage::Canvas : public QWidget {
public:
    explicit Canvas(NotchStage* stage)
        : QWidget(stage)
        , m_stage(stage)
    {
        setFixedHeight(stageHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area(rect());
        preview_paint::backdrop(p, area, 10,
            { QColor::fromRgbF(0.24f, 0.35f, 0.47f), QColor::fromRgbF(0.47f, 0.38f, 0.33f),
                QColor::fromRgbF(0.62f, 0.55f, 0.40f) });

        const double s = m_stage->scale();
        p.fillRect(QRectF(0, 0, area.width(), s * menuBarHeight(m_stage->m_geometry)), grey(0, 0.26));

        const Shape shape = m_stage->currentShape();
        const NotchTheme& theme = m_stage->m_theme;
        p.save();
        p.translate(area.center().x(), 0);
        p.scale(s, s);
        p.translate(-shape.outerWidth() / 2, 0);
        const QRectF outer(0, 0, shape.outerWidth(), shape.height);
        const QPainterPath outline = NotchShape { shape.topRadius, shape.bottomRadius }.path(outer);
        p.setPen(Qt::NoPen);
        p.setBrush(theme.isDark ? grey(0) : grey(0.96));
        p.drawPath(outline);
        p.setClipPath(outline, Qt::IntersectClip);
        paintContents(p, QRectF(shape.topRadius, 0, shape.bodyWidth, shape.height));
        p.restore();

        p.setClipping(false);
        QColor border = palette().color(QPalette::WindowText);
        border.setAlphaF(0.1f);
        p.setPen(QPen(border, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);

        const QString badge = badgeText(s);
        if (!badge.isEmpty()) {
            const QFont font = settings_style::font(TextStyle::caption2);
            const QFontMetricsF metrics(font);
            const QSizeF pill(metrics.horizontalAdvance(badge) + 14, metrics.height() + 6);
            const QRectF box(
                area.right() - 8 - pill.width(), area.bottom() - 8 - pill.height(), pill.width(), pill.height());
            p.setPen(Qt::NoPen);
            p.setBrush(grey(0, 0.4));
            p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
            p.setFont(font);
            p.setPen(grey(1, 0.75));
            p.drawText(box, Qt::AlignCenter, badge);
        }
    }

private:
    void paintContents(QPainter& p, const QRectF& body)
    {
        const NotchTheme& theme = m_stage->m_theme;
        switch (m_stage->m_state) {
        case State::collapsed:
            return;
        case State::expanded:
            MusicPreview { theme, false, false }.paint(p, body);
            return;
        case State::readout: {
            // The sample starts below the notch and keeps 6 clear of the bottom.
            const double h = m_stage->m_geometry.anchorRect().height();
            const std::optional<SystemLevel>& level = m_stage->m_readout.level;
            const double sampleHeight
                = level ? LevelReadout::contentHeight(*level, std::nullopt) : chargeSampleHeight();
            const double free = body.height() - sampleHeight;
            const double top = std::max(h, std::min(free / 2, free - 6));
            const QRectF sample(body.left(), body.top() + top, body.width(), sampleHeight);
            if (level)
                LevelReadout::paint(p, sample.adjusted(20, 0, -20, 0), *level, std::nullopt, theme, level->value,
                    level->isMuted ? 1 : 0);
            else
                paintChargeSample(p, sample, theme.isDark);
            return;
        }
        }
    }

    NotchStage* m_stage;
};

NotchStage::NotchStage(const NotchGeometry& geometry, const LayoutMetrics& layout, const NotchTheme& theme, State state,
    bool showsPicker, Readout readout, QWidget* parent)
    : QWidget(parent)
    , m_geometry(geometry)
    , m_layout(layout)
    , m_theme(theme)
    , m_state(state)
    , m_readout(std::move(readout))
    , m_canvas(new Canvas(this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(m_canvas);
    if (showsPicker) {
        auto* line = new QHBoxLayout;
        line->setSpacing(8);
        m_picker = new SegmentedControl({ title(State::collapsed), title(State::readout), title(State::expanded) });
        m_picker->setFixedWidth(250);
        m_picker->setAccessibleName(QStringLiteral("Notch state"));
        m_picker->setCurrentIndex(int(m_state));
        connect(m_picker, &SegmentedControl::activated, this, [this](int index) {
            const State chosen = State(index);
            setState(chosen);
            if (onStateChange)
                onStateChange(chosen);
        });
        m_dimensions = label({}, TextStyle::caption, Tone::secondary);
        line->addWidget(m_picker);
        line->addStretch(1);
        line->addWidget(m_dimensions);
        column->addLayout(line);
    }
    m_frames.onFrame = [this] {
        const double now = uptime();
        if (!m_bodyWidth.isMoving(now) && !m_height.isMoving(now) && !m_topRadius.isMoving(now)
            && !m_bottomRadius.isMoving(now))
            m_frames.stop();
        m_canvas->update();
    };
    retarget(false);
}

QWidget* NotchStage::canvas() const
{
    return m_canvas;
}

QString NotchStage::title(State state)
{
    switch (state) {
    case State::collapsed:
        return QStringLiteral("At rest");
    case State::readout:
        return QStringLiteral("Readout");
    case State::expanded:
        return QStringLiteral("Open");
    }
    return {};
}

NotchStage::Shape NotchStage::shape(State state, const NotchGeometry& geometry, const LayoutMetrics& layout)
{
    const double w = geometry.anchorRect().width();
    const double h = geometry.anchorRect().height();
    switch (state) {
    case State::collapsed:
        return { w, h, layout.collapsedTopRadius, layout.collapsedBottomRadius };
    case State::readout:
        // The extra width is added once to the notch's width, as the real readout does.
        return { w + layout.activityExtraWidth, std::max(h, layout.activityHeight), layout.collapsedTopRadius,
            layout.collapsedBottomRadius };
    case State::expanded:
        return { layout.expandedWidth, layout.expandedHeight, layout.expandedTopRadius, layout.expandedBottomRadius };
    }
    return {};
}

double NotchStage::fittingScale(QSizeF available, double menuBarHeight, const Shape& shape)
{
    const double W = available.width();
    const double H = available.height();
    if (!(W > 0) || !(H > 0))
        return 1;
    const double outer = shape.outerWidth() <= 1 ? 1 : shape.outerWidth();
    const double widthTerm = (W - 20) / outer;
    const double room = H - std::max(menuBarHeight, kMinimumMenuBar) - 16;
    const double heightTerm = shape.height <= 1 ? room : room / shape.height;
    return std::clamp(std::min(widthTerm, heightTerm), 0.25, 1.0);
}

QString NotchStage::dimensionText(State state, const NotchGeometry& geometry, const LayoutMetrics& layout)
{
    const auto whole = [](double v) { return QString::number(qint64(std::trunc(v))); };
    if (state == State::collapsed) {
        const QRectF& notch = geometry.anchorRect();
        return whole(notch.width()) + QStringLiteral(" × ") + whole(notch.height())
            + QStringLiteral(" px — measured from your display");
    }
    const Shape s = shape(state, geometry, layout);
    return whole(s.bodyWidth) + QStringLiteral(" × ") + whole(s.height) + QStringLiteral(" px");
}

QString NotchStage::badgeText(double scale)
{
    if (scale >= 0.995)
        return {};
    return QStringLiteral("shown at %1%").arg(qint64(std::llround(scale * 100)));
}

NotchStage::Shape NotchStage::currentShape() const
{
    const double now = uptime();
    return { m_bodyWidth.value(now), m_height.value(now), std::max(0.0, m_topRadius.value(now)),
        std::max(0.0, m_bottomRadius.value(now)) };
}

double NotchStage::scale() const
{
    return fittingScale(QSizeF(m_canvas->size()), m_geometry.menuBarHeight(), currentShape());
}

void NotchStage::retarget(bool animated)
{
    const Shape target = shape(m_state, m_geometry, m_layout);
    const double now = uptime();
    // Unseen, the shape takes its place at once.
    if (animated && isVisible()) {
        m_bodyWidth.animate(target.bodyWidth, kShapeSpring, now);
        m_height.animate(target.height, kShapeSpring, now);
        m_topRadius.animate(target.topRadius, kShapeSpring, now);
        m_bottomRadius.animate(target.bottomRadius, kShapeSpring, now);
        m_frames.start();
    } else {
        m_bodyWidth.set(target.bodyWidth);
        m_height.set(target.height);
        m_topRadius.set(target.topRadius);
        m_bottomRadius.set(target.bottomRadius);
        m_frames.stop();
    }
    if (m_picker)
        m_picker->setCurrentIndex(int(m_state));
    if (m_dimensions)
        m_dimensions->setText(dimensionText(m_state, m_geometry, m_layout));
    m_canvas->update();
}

void NotchStage::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    retarget(true);
}

void NotchStage::setNotchLayout(const LayoutMetrics& layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    retarget(true);
}

void NotchStage::setTheme(const NotchTheme& theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    m_canvas->update();
}

void NotchStage::setReadout(const Readout& readout)
{
    if (readout == m_readout)
        return;
    m_readout = readout;
    m_canvas->update();
}

// MARK: Level choice

LevelChoiceTile::LevelChoiceTile(const SystemLevel& level, const NotchTheme& theme, bool chosen, QWidget* parent)
    : QAbstractButton(parent)
    , m_level(level)
    , m_theme(theme)
    , m_chosen(chosen)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(helpText(level.kind));
    setAccessibleName(nimbra::title(level.kind));
    setAccessibleDescription(helpText(level.kind));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

SystemLevel LevelChoiceTile::shownLevel(SystemLevel::Kind kind, const LiveLevels& levels)
{
    const std::optional<SystemLevel>& live = kind == SystemLevel::Kind::volume ? levels.volume : levels.brightness;
    if (live)
        return *live;
    return SystemLevel(kind, 0, false, false, std::nullopt);
}

QString LevelChoiceTile::helpText(SystemLevel::Kind kind)
{
    return QStringLiteral("Show ") + nimbra::title(kind) + QStringLiteral(" in the preview above");
}

QSize LevelChoiceTile::sizeHint() const
{
    return { 200, int(std::ceil(LevelReadout::contentHeight(m_level, std::nullopt))) + 24 };
}

void LevelChoiceTile::setChosen(bool chosen)
{
    if (chosen == m_chosen)
        return;
    m_chosen = chosen;
    update();
}

void LevelChoiceTile::setTheme(const NotchTheme& theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    update();
}

void LevelChoiceTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(rect());
    p.setPen(Qt::NoPen);
    p.setBrush(m_theme.isDark ? grey(0) : grey(0.96));
    p.drawRoundedRect(area, 9, 9);
    LevelReadout::paint(
        p, area.adjusted(14, 12, -14, -12), m_level, std::nullopt, m_theme, m_level.value, m_level.isMuted ? 1 : 0);
    if (m_chosen || hasFocus()) {
        QColor ring = accent(palette());
        if (!m_chosen)
            ring.setAlphaF(0.5f);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(area.adjusted(1, 1, -1, -1), 8, 8);
    }
}

QWidget* SettingsView::levelChoice(SystemLevel::Kind kind)
{
    auto* tile
        = new LevelChoiceTile(LevelChoiceTile::shownLevel(kind, levels()), previewTheme(), previewedKind() == kind);
    connect(tile, &QAbstractButton::clicked, this, [this, kind] { setPreviewedKind(kind); });
    connect(this, &SettingsView::previewedKindChanged, tile,
        [this, tile, kind] { tile->setChosen(previewedKind() == kind); });
    connect(this, &SettingsView::previewThemeChanged, tile, [this, tile] { tile->setTheme(previewTheme()); });
    return tile;
}

} // namespace nimbra
