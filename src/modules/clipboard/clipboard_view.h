#pragma once

#include "core/clipboard_store.h"
#include "ui/surface/surface_metrics.h"

#include <QImage>
#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>

class QAbstractButton;
class QVariantAnimation;

namespace nimbra {

class ClipboardList;

// The clipboard tab's search field: frameless on the surface, in the theme's text colours. It
// takes the keyboard by itself whenever its window is the active one, so typing filters at
// once after the hot key opened the tab.
class ClipboardSearchField : public QLineEdit {
    Q_OBJECT
public:
    ClipboardSearchField(double fontSize, QWidget* parent = nullptr);

    void setFontSize(double fontSize);
    // Whether the keyboard goes here now.
    bool hasKeyboard() const;
    // Takes the keyboard when the window is active and it does not have it yet.
    void claimKeyboard();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyColours();
};

// The clipboard tab: a search bar over a scrolling list of history entries, or an empty state.
// It owns no model: the shell builds it from the filtered entries, the query and the keyboard
// selection, and it only reports what the user asks for. Rebuilt views are adopted by the one
// on screen (adopt()), so the search field keeps its cursor and the list its scroll position.
class ClipboardView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        // The user typed: the new query.
        std::function<void(const QString&)> onQueryChange;
        std::function<void(const QUuid&)> onPaste;
        std::function<void(const QUuid&)> onCopy;
        std::function<void(const QUuid&)> onDelete;
        std::function<void(const QUuid&)> onTogglePin;
        std::function<void()> onClear;
    };
    // The thumbnail of an image entry; a null image draws the PNG itself, when it is small.
    using Thumbnails = std::function<QImage(const QUuid&)>;

    ClipboardView(const QList<ClipboardItem>& items, const SurfaceMetrics& metrics, const QString& query,
        const std::optional<QUuid>& selection, Actions actions, Thumbnails thumbnails = {}, QWidget* parent = nullptr);

    // Takes over the state of a view built for a newer state of the shell.
    void adopt(const ClipboardView& fresh);

    const QList<ClipboardItem>& items() const { return m_items; }
    const SurfaceMetrics& metrics() const { return m_metrics; }
    const QString& query() const { return m_query; }
    const std::optional<QUuid>& selection() const { return m_selection; }
    const Actions& actions() const { return m_actions; }
    QImage thumbnail(const QUuid& id) const { return m_thumbnails ? m_thumbnails(id) : QImage(); }

    ClipboardSearchField* searchField() const { return m_field; }
    QAbstractButton* clearButton() const { return m_clear; }
    ClipboardList* list() const { return m_list; }
    // The text beside the search field: how many entries are listed.
    QString countText() const { return QString::number(m_items.size()); }
    // The empty state's symbol and text: "Nothing copied yet" until something is typed.
    QString emptySymbol() const;
    QString emptyText() const;

    // The symbol an entry shows where no thumbnail is drawn.
    static QString glyph(const ClipboardItem& item);
    // The name of the application an entry was copied in: its desktop entry's name, else the
    // last part of its dotted id; none without an id.
    static std::optional<QString> applicationName(const std::optional<QString>& id);
    // Rows name their application only from a content height of 66 up.
    static bool showsApplicationNames(const SurfaceMetrics& metrics) { return metrics.contentHeight() >= 66; }

    QRectF searchBarRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void place();

    QList<ClipboardItem> m_items;
    SurfaceMetrics m_metrics;
    QString m_query;
    std::optional<QUuid> m_selection;
    Actions m_actions;
    Thumbnails m_thumbnails;
    ClipboardSearchField* m_field;
    QAbstractButton* m_clear;
    ClipboardList* m_list;
};

// The rows of the clipboard tab, painted as they scroll into view: only the visible rows cost a
// frame, however long the history.
//
// Rows are as tall as their fonts need, and the list shows as many whole rows as fit, centred
// in its height; it scrolls by whole rows. The strips above and below them show the next rows
// faintly, fading out, where the list goes on, and never their text: at rest no row is cut
// through its text.
class ClipboardList : public QWidget {
    Q_OBJECT
public:
    // The small buttons a hovered row shows, right to left.
    enum class Button { copy, pin, remove };

    ClipboardList(ClipboardView* view);

    // Called by the view when its values changed: scrolls a newly selected row to the centre,
    // and keeps the selected row in sight unless the wheel moved the list away from it.
    void refresh(bool selectionChanged);

    double rowHeight() const;
    double rowPitch() const { return rowHeight() + m_view->metrics().space(2); }
    // How many rows fit whole, at least one.
    int wholeRows() const;
    // The strip above and below the whole rows.
    double edgeBand() const;
    // Where whole rows are shown, in this widget's coordinates; text shows only here.
    QRectF wholeRowWindow() const;
    double scrollOffset() const { return m_offset; }
    double maxScrollOffset() const;
    // Scrolls to the whole row nearest to `offset`, at once.
    void setScrollOffset(double offset);
    bool isScrollAnimating() const;
    // Row `index` in this widget's coordinates, as scrolled now.
    QRectF rowRect(int index) const;
    bool isWhollyShown(int index) const;
    int rowAt(QPointF point) const;
    int hoveredRow() const { return m_hovered; }
    // The hover button at `point` in a hovered row.
    std::optional<Button> buttonAt(int row, QPointF point) const;
    QRectF buttonRect(int row, Button button) const;
    QString toolTipAt(QPointF point) const;
    // Rows painted by the last paint (for the frame-cost benchmark).
    int rowsPainted() const { return m_rowsPainted; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent*) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent*) override;
    bool event(QEvent* event) override;

private:
    void paintRow(QPainter& p, int index, const QRectF& rect);
    void fadeEdges(QPainter& p);
    QImage thumbnailFor(const ClipboardItem& item) const;
    void setHovered(int row);
    int selectedIndex() const;
    // Scrolls so that `first` is the top whole row.
    void scrollToRow(int first, bool animated);
    // Scrolls the selected row into the whole rows: to the middle when `centre`, else the least.
    void revealSelection(bool centre, bool animated);
    double targetOffset() const;

    ClipboardView* m_view;
    // rowHeight() for the metrics it was measured for.
    mutable std::optional<std::pair<SurfaceMetrics, double>> m_rowHeight;
    double m_offset = 0;
    int m_hovered = -1;
    int m_pressed = -1;
    int m_rowsPainted = 0;
    // The user scrolled the list since the selection last changed.
    bool m_scrolledByUser = false;
    // Wheel turns not yet amounting to a whole row.
    double m_wheelRows = 0;
    QVariantAnimation* m_scroll;
};

} // namespace nimbra
