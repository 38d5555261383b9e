#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <span>

class QAbstractButton;

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// The expanded surface's tabs, in order.
enum class NotchSurfaceTab { music, clipboard, shelf, timer, status, settings };

inline constexpr std::array<NotchSurfaceTab, 6> kNotchSurfaceTabs
    = { NotchSurfaceTab::music, NotchSurfaceTab::clipboard, NotchSurfaceTab::shelf, NotchSurfaceTab::timer,
          NotchSurfaceTab::status, NotchSurfaceTab::settings };

template <> inline std::span<const NotchSurfaceTab> allCases<NotchSurfaceTab>()
{
    return kNotchSurfaceTabs;
}

QString rawValue(NotchSurfaceTab tab);
template <> std::optional<NotchSurfaceTab> fromRawValue<NotchSurfaceTab>(QStringView raw);
inline QString id(NotchSurfaceTab tab)
{
    return rawValue(tab);
}
// The button's tooltip.
QString title(NotchSurfaceTab tab);
QString symbol(NotchSurfaceTab tab);
// Music, clipboard, shelf and timer sit left of the notch; status and settings right of it.
bool isLeading(NotchSurfaceTab tab);

// The tab buttons of one side of the notch. With room for every button (a pitch of 17 or
// more) it shows them all; in a narrower strip it collapses to the selected tab (when it is on
// this side) and an overflow button that steps through this side's tabs.
class NotchNavRow : public QWidget {
    Q_OBJECT
public:
    enum class Side { leading, trailing };
    enum class Form { empty, full, collapsed };

    NotchNavRow(const QList<NotchSurfaceTab>& tabs, Side side, NotchSurfaceTab selection, double width, double pitch,
        std::function<void(NotchSurfaceTab)> onSelect, QWidget* parent = nullptr);

    const QList<NotchSurfaceTab>& tabs() const { return m_tabs; }
    Side side() const { return m_side; }
    NotchSurfaceTab selection() const { return m_selection; }
    double rowWidth() const { return m_width; }
    double pitch() const { return m_pitch; }
    Form form() const;

    // The tab buttons shown, in order (in the collapsed form, the selected one at most).
    const QList<QAbstractButton*>& buttons() const { return m_buttons; }
    // The overflow button of the collapsed form, else null.
    QAbstractButton* overflowButton() const { return m_overflow; }
    // The tab the overflow button moves to: the next of this side after the selection,
    // wrapping, or this side's first tab when the selection is on the other side.
    std::optional<NotchSurfaceTab> overflowTarget() const;

    // The look of a tab button at a pitch.
    static double buttonWidth(double pitch) { return pitch - 3; }
    static double buttonHeight(double pitch);
    static double symbolSize(double pitch);

    std::function<void(NotchSurfaceTab)> onSelect;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void build();
    void place();

    QList<NotchSurfaceTab> m_tabs;
    Side m_side;
    NotchSurfaceTab m_selection;
    double m_width;
    double m_pitch;
    QList<QAbstractButton*> m_buttons;
    QList<double> m_slots; // the width each button is framed to
    QAbstractButton* m_overflow = nullptr;
};

} // namespace nimbra
