#pragma once

#include "core/activity.h"

#include <QList>
#include <QWidget>
#include <optional>

class QVBoxLayout;

namespace nimbra {

class NimbraSettings;
class SettingsView;

// The priority page: the four kinds of readout in the order that decides which one shows first
// when two arrive together, rearranged by dragging.
void priorityPage(SettingsView& view, QVBoxLayout& column);
// The music page: a looping scene of what the now-playing switches do, and the switches.
void musicPage(SettingsView& view, QVBoxLayout& column);

// The ranked list of readout kinds. Dragging a row (or Alt+Up and Alt+Down on the focused one)
// moves it, and the whole new order is written to the store when the row lands.
class PriorityList : public QWidget {
    Q_OBJECT
public:
    explicit PriorityList(NimbraSettings& settings, QWidget* parent = nullptr);

    static constexpr int rowHeight = 48;
    static constexpr int inset = 8;

    // `order` with the entry at `from` moved to the destination offset `to` (0...count, an
    // index into the order before the move).
    static QList<ActivityCategory> moved(QList<ActivityCategory> order, int from, int to);

    // The row under a point, in rows from the top; none outside the rows.
    std::optional<int> rowAt(QPointF point) const;
    QRectF rowRect(int index) const;
    int focusedRow() const { return m_focused; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Where the dragged row would land, as an index into the order after the move.
    int landing() const;
    void moveRow(int from, int to);

    NimbraSettings& m_settings;
    std::optional<int> m_pressed;
    QPointF m_pressAt;
    double m_dragOffset = 0;
    bool m_dragging = false;
    int m_focused = 0;
};

} // namespace nimbra
