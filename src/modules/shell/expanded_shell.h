#pragma once

#include "modules/shell/notch_nav_row.h"
#include "ui/surface/surface_metrics.h"

#include <QList>
#include <QWidget>
#include <functional>

namespace nimbra {

// The frame of the expanded surface: a row of tab buttons in the menu-bar strip on each side
// of the notch, and the selected tab's content below. The shell never changes the selection
// itself; a click reports the tab through `onSelect`.
class ExpandedShell : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of `content`.
    ExpandedShell(const SurfaceMetrics& metrics, NotchSurfaceTab selection, const QList<NotchSurfaceTab>& tabs,
        std::function<void(NotchSurfaceTab)> onSelect, QWidget* content, QWidget* parent = nullptr);

    const SurfaceMetrics& metrics() const { return m_metrics; }
    NotchSurfaceTab selection() const { return m_selection; }
    const QList<NotchSurfaceTab>& tabs() const { return m_tabs; }
    QWidget* content() const { return m_content; }
    NotchNavRow* leadingRow() const { return m_leading; }
    NotchNavRow* trailingRow() const { return m_trailing; }

    // The tabs split by kind, each keeping the order they came in.
    static QList<NotchSurfaceTab> leadingTabs(const QList<NotchSurfaceTab>& tabs);
    static QList<NotchSurfaceTab> trailingTabs(const QList<NotchSurfaceTab>& tabs);

    // Keeps this shell for a fresh one of the same tabs, selection and size when
    // `adoptContent` lets the shown content take over the fresh content's state.
    bool adopt(ExpandedShell* fresh, const std::function<bool(QWidget* current, QWidget* fresh)>& adoptContent);

    std::function<void(NotchSurfaceTab)> onSelect;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void place();

    SurfaceMetrics m_metrics;
    NotchSurfaceTab m_selection;
    QList<NotchSurfaceTab> m_tabs;
    NotchNavRow* m_leading;
    NotchNavRow* m_trailing;
    QWidget* m_content;
};

} // namespace nimbra
