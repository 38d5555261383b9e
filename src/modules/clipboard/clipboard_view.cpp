#include "modules/clipboard/clipboard_view.h"

#include "platform/xdg/desktop_entry.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QAbstractButton>
#include <QCache>
#include <QCursor>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <cmath>

namespace nimbra {

namespace {

constexpr int scrollMs = 120;
// Image entries without a thumbnail draw their PNG only up to this size; larger ones show the
// photo symbol rather than being decoded while painting.
constexpr qsizetype maxDecodedPng = 2 * 1024 * 1024;

double lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

// A symbol drawn as a plain button: the whole square is clickable.
class SymbolButton : public QAbstractButton {
public:
    SymbolButton(const QString& symbol, double fontSize, const QString& tip, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(symbol)
        , m_fontSize(fontSize)
    {
        setToolTip(tip);
        setAccessibleName(tip);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        const int side = int(std::ceil(symbols::side(fontSize)));
        resize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const NotchTheme theme = notchTheme(this);
        symbols::draw(p, m_symbol, QRectF(rect()), m_fontSize, theme.secondaryText(0.45), QFont::Medium);
    }

private:
    QString m_symbol;
    double m_fontSize;
};

} // namespace

// ---- Search field ------------------------------------------------------------------------

ClipboardSearchField::ClipboardSearchField(double fontSize, QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setFocusPolicy(Qt::StrongFocus);
    setPlaceholderText(QStringLiteral("Search"));
    setFontSize(fontSize);
    applyColours();
}

void ClipboardSearchField::setFontSize(double fontSize)
{
    if (font().pixelSize() != int(std::round(fontSize)))
        setFont(systemFont(fontSize));
}

void ClipboardSearchField::applyColours()
{
    // The theme's text colours: white text would vanish on the light surface.
    const NotchTheme theme = notchTheme(this);
    QPalette colours = palette();
    colours.setColor(QPalette::Text, theme.primaryText());
    colours.setColor(QPalette::PlaceholderText, theme.secondaryText(0.35));
    colours.setColor(QPalette::Base, Qt::transparent);
    colours.setColor(QPalette::Window, Qt::transparent);
    colours.setColor(QPalette::Highlight, theme.accent());
    colours.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(colours);
}

bool ClipboardSearchField::hasKeyboard() const
{
    return window() && window()->isActiveWindow() && hasFocus();
}

void ClipboardSearchField::claimKeyboard()
{
    if (isVisible() && window()->isActiveWindow() && !hasFocus())
        setFocus(Qt::OtherFocusReason);
}

void ClipboardSearchField::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    claimKeyboard();
}

void ClipboardSearchField::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        claimKeyboard();
}

void ClipboardSearchField::paintEvent(QPaintEvent* event)
{
    // The theme may have changed since the last frame (it is inherited from the surface).
    const NotchTheme theme = notchTheme(this);
    if (palette().color(QPalette::Text) != theme.primaryText())
        applyColours();
    QLineEdit::paintEvent(event);
}

// ---- View --------------------------------------------------------------------------------

ClipboardView::ClipboardView(const QList<ClipboardItem>& items, const SurfaceMetrics& metrics, const QString& query,
    const std::optional<QUuid>& selection, Actions actions, Thumbnails thumbnails, QWidget* parent)
    : QWidget(parent)
    , m_items(items)
    , m_metrics(metrics)
    , m_query(query)
    , m_selection(selection)
    , m_actions(std::move(actions))
    , m_thumbnails(std::move(thumbnails))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_field = new ClipboardSearchField(metrics.font(12), this);
    m_field->setText(query);
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_query = text;
        if (m_actions.onQueryChange)
            m_actions.onQueryChange(text);
    });
    m_clear = new SymbolButton(
        QStringLiteral("trash"), metrics.font(10), QStringLiteral("Clear everything except pinned items"), this);
    connect(m_clear, &QAbstractButton::clicked, this, [this] {
        if (m_actions.onClear)
            m_actions.onClear();
    });
    m_list = new ClipboardList(this);
    m_list->setVisible(!m_items.isEmpty());
    place();
}

void ClipboardView::adopt(const ClipboardView& fresh)
{
    const bool selectionChanged = fresh.m_selection != m_selection;
    const bool metricsChanged = !(fresh.m_metrics == m_metrics);
    m_items = fresh.m_items;
    m_metrics = fresh.m_metrics;
    m_query = fresh.m_query;
    m_selection = fresh.m_selection;
    m_actions = fresh.m_actions;
    m_thumbnails = fresh.m_thumbnails;
    if (m_field->text() != m_query)
        m_field->setText(m_query);
    m_field->setFontSize(m_metrics.font(12));
    m_field->claimKeyboard();
    if (metricsChanged)
        place();
    m_list->setVisible(!m_items.isEmpty());
    m_list->refresh(selectionChanged && m_selection.has_value());
    update();
}

QString ClipboardView::emptySymbol() const
{
    return m_query.isEmpty() ? QStringLiteral("doc.on.clipboard") : QStringLiteral("magnifyingglass");
}

QString ClipboardView::emptyText() const
{
    return m_query.isEmpty() ? QStringLiteral("Nothing copied yet") : QStringLiteral("No matches");
}

QString ClipboardView::glyph(const ClipboardItem& item)
{
    if (item.payload.asImage())
        return QStringLiteral("photo");
    if (item.payload.asFiles())
        return QStringLiteral("doc.fill");
    if (item.payload.asText()->startsWith(QLatin1String("http")))
        return QStringLiteral("link");
    return QStringLiteral("text.alignleft");
}

std::optional<QString> ClipboardView::applicationName(const std::optional<QString>& id)
{
    if (!id)
        return std::nullopt;
    if (std::optional<QString> name = desktop_entry::displayName(*id))
        return name;
    const QStringList parts = id->split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    return parts.last();
}

QRectF ClipboardView::searchBarRect() const
{
    const SurfaceMetrics& m = m_metrics;
    const double inner = std::max({ m.size(18), symbols::side(m.font(10)), lineHeight(systemFont(m.font(9.5))) });
    const double height = inner + 2 * m.space(5);
    const double side = m.sidePadding();
    return QRectF(side, 0, std::max(0.0, width() - 2 * side), height);
}

void ClipboardView::place()
{
    const SurfaceMetrics& m = m_metrics;
    const QRectF bar = searchBarRect();
    const double pad = m.space(9);
    const double gap = m.space(7);
    const double symbol = symbols::side(m.font(10));
    const double count = QFontMetricsF(systemFont(m.font(9.5))).horizontalAdvance(QStringLiteral("000"));
    const double fieldLeft = bar.left() + pad + symbol + gap;
    const double fieldRight = bar.right() - pad - m_clear->width() - gap - count - gap;
    const double fieldHeight = m.size(18);
    m_field->setGeometry(
        QRectF(fieldLeft, bar.center().y() - fieldHeight / 2, std::max(0.0, fieldRight - fieldLeft), fieldHeight)
            .toRect());
    m_clear->move(int(std::round(bar.right() - pad - m_clear->width())),
        int(std::round(bar.center().y() - m_clear->height() / 2.0)));
    const double top = bar.bottom() + m.space(6);
    m_list->setGeometry(0, int(std::round(top)), width(), std::max(0, int(std::round(height() - m.space(8) - top))));
}

void ClipboardView::resizeEvent(QResizeEvent*)
{
    place();
    m_list->refresh(false);
}

void ClipboardView::paintEvent(QPaintEvent*)
{
    const SurfaceMetrics& m = m_metrics;
    const NotchTheme theme = notchTheme(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF bar = searchBarRect();
    p.setPen(Qt::NoPen);
    p.setBrush(theme.well(0.14));
    p.drawRoundedRect(bar, bar.height() / 2, bar.height() / 2);
    const double pad = m.space(9);
    const double symbol = symbols::side(m.font(10));
    symbols::draw(p, QStringLiteral("magnifyingglass"), QRectF(bar.left() + pad, bar.top(), symbol, bar.height()),
        m.font(10), theme.secondaryText(0.45), QFont::Medium);
    const QFont countFont = systemFont(m.font(9.5));
    const QFontMetricsF countMetrics(countFont);
    const double countRight = m_clear->x() - m.space(7);
    p.setFont(countFont);
    p.setPen(theme.secondaryText(0.4));
    const QString count = countText();
    p.drawText(QPointF(countRight - countMetrics.horizontalAdvance(count),
                   bar.center().y() - countMetrics.height() / 2 + countMetrics.ascent()),
        count);

    if (!m_items.isEmpty())
        return;
    // The empty state, centred in the room the list would take.
    const double top = bar.bottom() + m.space(6);
    const double bottom = height() - m.space(8);
    const double symbolSide = symbols::side(m.font(17));
    const QFont textFont = systemFont(m.font(10.5));
    const FittedText text = fitText(emptyText(), textFont, width() - 2 * m.sidePadding(), 0.8);
    const double stack = symbolSide + m.space(4) + text.height();
    const double y = top + (bottom - top - stack) / 2;
    symbols::draw(p, emptySymbol(), QRectF(0, y, width(), symbolSide), m.font(17), theme.secondaryText(0.3));
    drawFitted(p, text, QPointF((width() - text.width) / 2, y + symbolSide + m.space(4)), theme.secondaryText(0.4));
}

// ---- List --------------------------------------------------------------------------------

ClipboardList::ClipboardList(ClipboardView* view)
    : QWidget(view)
    , m_view(view)
    , m_scroll(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    m_scroll->setDuration(scrollMs);
    m_scroll->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_scroll, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_offset = std::clamp(value.toDouble(), 0.0, maxScrollOffset());
        update();
    });
}

double ClipboardList::rowHeight() const
{
    const SurfaceMetrics& m = m_view->metrics();
    // Asked several times for every row painted: the fonts are measured once per size.
    if (!m_rowHeight || !(m_rowHeight->first == m)) {
        double text = lineHeight(systemFont(m.font(12)));
        if (ClipboardView::showsApplicationNames(m))
            text += lineHeight(systemFont(m.font(9)));
        m_rowHeight.emplace(m, std::max(m.size(26), text) + 2 * m.space(4));
    }
    return m_rowHeight->second;
}

int ClipboardList::wholeRows() const
{
    const double gap = m_view->metrics().space(2);
    return std::max(1, int(std::floor((height() + gap) / rowPitch() + 1e-6)));
}

double ClipboardList::edgeBand() const
{
    const double shown = wholeRows() * rowPitch() - m_view->metrics().space(2);
    return std::max(0.0, (height() - shown) / 2);
}

QRectF ClipboardList::wholeRowWindow() const
{
    return QRectF(0, edgeBand(), width(), wholeRows() * rowPitch() - m_view->metrics().space(2));
}

double ClipboardList::maxScrollOffset() const
{
    return double(std::max<qsizetype>(0, m_view->items().size() - wholeRows())) * rowPitch();
}

void ClipboardList::setScrollOffset(double offset)
{
    m_scrolledByUser = true;
    m_scroll->stop();
    const double clamped = std::clamp(std::round(offset / rowPitch()) * rowPitch(), 0.0, maxScrollOffset());
    if (clamped == m_offset)
        return;
    m_offset = clamped;
    setHovered(rowAt(mapFromGlobal(QCursor::pos())));
    update();
}

bool ClipboardList::isScrollAnimating() const
{
    return m_scroll->state() == QAbstractAnimation::Running;
}

double ClipboardList::targetOffset() const
{
    return isScrollAnimating() ? m_scroll->endValue().toDouble() : m_offset;
}

void ClipboardList::scrollToRow(int first, bool animated)
{
    const double target = std::clamp(first * rowPitch(), 0.0, maxScrollOffset());
    if (target == targetOffset())
        return;
    m_scroll->stop();
    if (animated && isVisible() && target != m_offset) {
        m_scroll->setStartValue(m_offset);
        m_scroll->setEndValue(target);
        m_scroll->start();
    } else {
        m_offset = target;
    }
    update();
}

int ClipboardList::selectedIndex() const
{
    const auto& selection = m_view->selection();
    if (!selection)
        return -1;
    const QList<ClipboardItem>& items = m_view->items();
    const auto found
        = std::find_if(items.cbegin(), items.cend(), [&](const ClipboardItem& item) { return item.id == *selection; });
    return found == items.cend() ? -1 : int(found - items.cbegin());
}

void ClipboardList::revealSelection(bool centre, bool animated)
{
    const int index = selectedIndex();
    const int rows = wholeRows();
    const int first = int(std::round(targetOffset() / rowPitch()));
    if (index < 0)
        scrollToRow(first, animated);
    else if (centre)
        scrollToRow(index - (rows - 1) / 2, animated);
    else if (index < first)
        scrollToRow(index, animated);
    else if (index >= first + rows)
        scrollToRow(index - rows + 1, animated);
    else
        scrollToRow(first, animated);
}

void ClipboardList::refresh(bool selectionChanged)
{
    const QList<ClipboardItem>& items = m_view->items();
    if (m_hovered >= items.size())
        m_hovered = -1;
    if (selectionChanged) {
        m_scrolledByUser = false;
        revealSelection(true, true);
    } else if (!m_scrolledByUser) {
        revealSelection(false, false);
    } else if (!isScrollAnimating()) {
        // Fewer entries, or a new size: still whole rows, within the list.
        scrollToRow(int(std::round(m_offset / rowPitch())), false);
    }
    update();
}

void ClipboardList::resizeEvent(QResizeEvent*)
{
    refresh(false);
}

QRectF ClipboardList::rowRect(int index) const
{
    const double side = m_view->metrics().sidePadding();
    return QRectF(side, edgeBand() + index * rowPitch() - m_offset, std::max(0.0, width() - 2 * side), rowHeight());
}

bool ClipboardList::isWhollyShown(int index) const
{
    const QRectF window = wholeRowWindow();
    const QRectF row = rowRect(index);
    return row.top() >= window.top() - 0.5 && row.bottom() <= window.bottom() + 0.5;
}

int ClipboardList::rowAt(QPointF point) const
{
    if (!rect().contains(point.toPoint()))
        return -1;
    const int index = int(std::floor((point.y() + m_offset - edgeBand()) / rowPitch()));
    if (index < 0 || index >= m_view->items().size())
        return -1;
    return rowRect(index).contains(point) ? index : -1;
}

QRectF ClipboardList::buttonRect(int row, Button button) const
{
    const SurfaceMetrics& m = m_view->metrics();
    const QRectF r = rowRect(row);
    const double side = symbols::side(m.font(9));
    const double right = r.right() - m.space(7);
    // Copy, pin and remove sit in this order at the row's end.
    const int fromRight = button == Button::remove ? 0 : button == Button::pin ? 1 : 2;
    const double x = right - side - fromRight * (side + m.space(8));
    return QRectF(x, r.center().y() - side / 2, side, side);
}

std::optional<ClipboardList::Button> ClipboardList::buttonAt(int row, QPointF point) const
{
    if (row < 0 || row != m_hovered)
        return std::nullopt;
    for (Button button : { Button::copy, Button::pin, Button::remove }) {
        if (buttonRect(row, button).adjusted(-2, -2, 2, 2).contains(point))
            return button;
    }
    return std::nullopt;
}

QString ClipboardList::toolTipAt(QPointF point) const
{
    const int row = rowAt(point);
    if (row < 0)
        return {};
    if (const auto button = buttonAt(row, point)) {
        switch (*button) {
        case Button::copy:
            return QStringLiteral("Copy without pasting");
        case Button::pin:
            return m_view->items()[row].isPinned ? QStringLiteral("Unpin") : QStringLiteral("Keep this one");
        case Button::remove:
            return QStringLiteral("Remove");
        }
    }
    return QStringLiteral("Paste into what you were doing");
}

void ClipboardList::setHovered(int row)
{
    // A row shown only in part offers no buttons: a click on it brings it in whole.
    if (row >= 0 && !isWhollyShown(row))
        row = -1;
    if (row == m_hovered)
        return;
    m_hovered = row;
    update();
}

void ClipboardList::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(rowAt(event->position()));
}

void ClipboardList::leaveEvent(QEvent*)
{
    setHovered(-1);
}

void ClipboardList::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton ? rowAt(event->position()) : -1;
}

void ClipboardList::mouseReleaseEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position());
    const int pressed = std::exchange(m_pressed, -1);
    if (event->button() != Qt::LeftButton || row < 0 || row != pressed)
        return;
    if (!isWhollyShown(row)) {
        m_scrolledByUser = true;
        const int first = int(std::round(targetOffset() / rowPitch()));
        scrollToRow(row < first ? row : row - wholeRows() + 1, true);
        return;
    }
    setHovered(row);
    const QUuid id = m_view->items()[row].id;
    const ClipboardView::Actions& actions = m_view->actions();
    const auto call = [&id](const std::function<void(const QUuid&)>& action) {
        if (action)
            action(id);
    };
    if (const auto button = buttonAt(row, event->position())) {
        switch (*button) {
        case Button::copy:
            call(actions.onCopy);
            return;
        case Button::pin:
            call(actions.onTogglePin);
            return;
        case Button::remove:
            call(actions.onDelete);
            return;
        }
    }
    call(actions.onPaste);
}

void ClipboardList::wheelEvent(QWheelEvent* event)
{
    // A notch of the wheel, or a touchpad's swipe of one row's height, moves one whole row.
    const double rows
        = !event->pixelDelta().isNull() ? event->pixelDelta().y() / rowPitch() : event->angleDelta().y() / 120.0;
    if (rows * m_wheelRows < 0)
        m_wheelRows = 0;
    m_wheelRows += rows;
    const int step = int(m_wheelRows);
    m_wheelRows -= step;
    if (step != 0) {
        m_scrolledByUser = true;
        scrollToRow(int(std::round(targetOffset() / rowPitch())) - step, true);
    }
    event->accept();
}

bool ClipboardList::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

QImage ClipboardList::thumbnailFor(const ClipboardItem& item) const
{
    const ClipboardItem::Payload::Image* image = item.payload.asImage();
    if (!image)
        return {};
    // Thumbnails made at capture first; small images without one are decoded once.
    const ClipboardView& view = *m_view;
    if (const QImage made = view.thumbnail(item.id); !made.isNull())
        return made;
    static QCache<QUuid, QImage> decoded(64);
    if (QImage* known = decoded.object(item.id))
        return *known;
    QImage fresh;
    if (image->png.size() <= maxDecodedPng)
        fresh = QImage::fromData(image->png, "PNG");
    decoded.insert(item.id, new QImage(fresh));
    return fresh;
}

void ClipboardList::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QList<ClipboardItem>& items = m_view->items();
    m_rowsPainted = 0;
    if (items.isEmpty())
        return;
    const QRectF dirty = QRectF(event->rect());
    const int first = std::max(0, int(std::floor((m_offset - edgeBand()) / rowPitch())));
    for (int index = first; index < items.size(); ++index) {
        const QRectF r = rowRect(index);
        if (r.top() > height())
            break;
        if (r.bottom() < 0 || !r.intersects(dirty))
            continue;
        paintRow(p, index, r);
        ++m_rowsPainted;
    }
    fadeEdges(p);
}

void ClipboardList::fadeEdges(QPainter& p)
{
    // The strips beyond the whole rows fade into the surface, where the list goes on.
    const double band = edgeBand();
    if (band <= 0)
        return;
    const QColor surface = notchTheme(this).surface();
    QColor faint = surface;
    faint.setAlphaF(0.35f);
    const auto fade = [&](double from, double to) {
        QLinearGradient gradient(0, from, 0, to);
        gradient.setColorAt(0, faint);
        gradient.setColorAt(1, surface);
        p.fillRect(QRectF(0, std::min(from, to), width(), std::abs(to - from)), gradient);
    };
    const QRectF window = wholeRowWindow();
    if (m_offset > 0)
        fade(window.top(), 0);
    if (m_offset < maxScrollOffset())
        fade(window.bottom(), height());
}

void ClipboardList::paintRow(QPainter& p, int index, const QRectF& r)
{
    const SurfaceMetrics& m = m_view->metrics();
    const NotchTheme theme = notchTheme(this);
    const ClipboardItem& item = m_view->items()[index];
    const bool selected = m_view->selection() == item.id;
    const bool hovered = index == m_hovered;

    p.setPen(Qt::NoPen);
    if (selected || hovered) {
        QColor fill = theme.accent();
        fill.setAlphaF(0.26f);
        p.setBrush(selected ? fill : theme.well(0.1));
        p.drawRoundedRect(r, m.size(6), m.size(6));
    }

    // Thumbnail or glyph.
    const double well = m.size(26);
    const QRectF thumb(r.left() + m.space(7), r.center().y() - well / 2, well, well);
    QPainterPath corner;
    corner.addRoundedRect(thumb, m.size(4), m.size(4));
    const QImage picture = thumbnailFor(item);
    if (!picture.isNull()) {
        p.save();
        p.setClipPath(corner);
        const double scale = std::max(well / picture.width(), well / picture.height());
        const QSizeF drawn(picture.width() * scale, picture.height() * scale);
        p.drawImage(QRectF(thumb.center().x() - drawn.width() / 2, thumb.center().y() - drawn.height() / 2,
                        drawn.width(), drawn.height()),
            picture);
        p.restore();
    } else {
        p.setBrush(theme.well(0.14));
        p.drawPath(corner);
        symbols::draw(p, ClipboardView::glyph(item), thumb, m.font(10), theme.secondaryText(0.6));
    }

    // The trailing marks: the pin, and the buttons under the pointer.
    double trailing = r.right() - m.space(7);
    if (hovered) {
        trailing = buttonRect(index, Button::copy).left() - m.space(8);
        const QColor tint = theme.secondaryText(0.6);
        symbols::draw(p, QStringLiteral("doc.on.doc"), buttonRect(index, Button::copy), m.font(9), tint);
        symbols::draw(p, item.isPinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"),
            buttonRect(index, Button::pin), m.font(9), tint);
        symbols::draw(p, QStringLiteral("xmark"), buttonRect(index, Button::remove), m.font(9), tint, QFont::DemiBold);
    }
    if (item.isPinned) {
        const double side = symbols::side(m.font(8));
        symbols::draw(p, QStringLiteral("pin.fill"), QRectF(trailing - side, r.center().y() - side / 2, side, side),
            m.font(8), theme.accent());
        trailing -= side + m.space(8);
    }

    // Preview line, and the application it came from when there is room.
    const double textLeft = thumb.right() + m.space(8);
    const double textWidth = std::max(0.0, trailing - textLeft);
    const QFont previewFont = systemFont(m.font(12));
    const QFontMetricsF previewMetrics(previewFont);
    const QString preview = previewMetrics.elidedText(item.preview(), Qt::ElideRight, textWidth);
    std::optional<QString> source;
    if (ClipboardView::showsApplicationNames(m))
        source = ClipboardView::applicationName(item.sourceBundleID);
    const QFont sourceFont = systemFont(m.font(9));
    const QFontMetricsF sourceMetrics(sourceFont);
    const double stack = previewMetrics.height() + (source ? sourceMetrics.height() : 0);
    const double top = r.center().y() - stack / 2;
    // Text only where rows show whole: a row in the edge strips shows none of it. Nor beyond
    // its own row: a copied text stacked with combining marks reaches far above and below its
    // line, and would write over its neighbours and the row's marks.
    p.save();
    p.setClipRect(wholeRowWindow(), Qt::IntersectClip);
    p.setClipRect(QRectF(thumb.right(), r.top(), trailing + m.space(4) - thumb.right(), r.height()), Qt::IntersectClip);
    p.setFont(previewFont);
    p.setPen(theme.primaryText());
    p.drawText(QPointF(textLeft, top + previewMetrics.ascent()), preview);
    if (source) {
        p.setFont(sourceFont);
        p.setPen(theme.secondaryText(0.4));
        p.drawText(QPointF(textLeft, top + previewMetrics.height() + sourceMetrics.ascent()),
            sourceMetrics.elidedText(*source, Qt::ElideRight, textWidth));
    }
    p.restore();
}

} // namespace nimbra
