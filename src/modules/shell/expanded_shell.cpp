#include "modules/shell/expanded_shell.h"

#include <cmath>

namespace nimbra {

QList<NotchSurfaceTab> ExpandedShell::leadingTabs(const QList<NotchSurfaceTab>& tabs)
{
    QList<NotchSurfaceTab> result;
    for (NotchSurfaceTab tab : tabs) {
        if (isLeading(tab))
            result.append(tab);
    }
    return result;
}

QList<NotchSurfaceTab> ExpandedShell::trailingTabs(const QList<NotchSurfaceTab>& tabs)
{
    QList<NotchSurfaceTab> result;
    for (NotchSurfaceTab tab : tabs) {
        if (!isLeading(tab))
            result.append(tab);
    }
    return result;
}

ExpandedShell::ExpandedShell(const SurfaceMetrics& metrics, NotchSurfaceTab selection,
    const QList<NotchSurfaceTab>& tabs, std::function<void(NotchSurfaceTab)> select, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , onSelect(std::move(select))
    , m_metrics(metrics)
    , m_selection(selection)
    , m_tabs(tabs)
    , m_content(content)
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto forward = [this](NotchSurfaceTab tab) {
        if (onSelect)
            onSelect(tab);
    };
    const QList<NotchSurfaceTab> leading = leadingTabs(tabs);
    const QList<NotchSurfaceTab> trailing = trailingTabs(tabs);
    m_leading = new NotchNavRow(leading, NotchNavRow::Side::leading, selection, metrics.stripWidth(),
        metrics.navPitch(int(leading.size())), forward, this);
    m_trailing = new NotchNavRow(trailing, NotchNavRow::Side::trailing, selection, metrics.stripWidth(),
        metrics.navPitch(int(trailing.size())), forward, this);
    if (m_content)
        m_content->setParent(this);
    place();
}

bool ExpandedShell::adopt(
    ExpandedShell* fresh, const std::function<bool(QWidget* current, QWidget* fresh)>& adoptContent)
{
    if (!fresh || !(fresh->m_metrics == m_metrics) || fresh->m_selection != m_selection || fresh->m_tabs != m_tabs)
        return false;
    if (!m_content || !fresh->m_content || !adoptContent || !adoptContent(m_content, fresh->m_content))
        return false;
    onSelect = fresh->onSelect;
    return true;
}

void ExpandedShell::resizeEvent(QResizeEvent*)
{
    place();
}

void ExpandedShell::place()
{
    // The navigation band sits beside the notch, as high as the notch; the content fills the rest.
    const int band = int(std::round(m_metrics.notchHeight()));
    const int strip = int(std::round(m_metrics.stripWidth()));
    m_leading->setGeometry(0, 0, strip, band);
    m_trailing->setGeometry(width() - strip, 0, strip, band);
    if (m_content)
        m_content->setGeometry(0, band, width(), std::max(0, height() - band));
}

} // namespace nimbra
