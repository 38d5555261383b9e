#include "ui/settings/settings_view.h"

#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/wheel_guard.h"
#include "ui/surface/symbols.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

namespace {

constexpr int kSidebarMinimum = 215;
constexpr int kSidebarIdeal = 225;
constexpr int kSidebarMaximum = 250;
constexpr int kRowHeight = 30;
constexpr double kDimmed = 0.55;

// A sidebar row: the page's symbol in the accent colour and its title; the chosen row sits on a
// rounded highlight, accent-filled while the list has the focus.
class SidebarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return { 0, kRowHeight }; }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        const bool focused = option.state & QStyle::State_HasFocus || (option.widget && option.widget->hasFocus());
        const QRectF r = QRectF(option.rect).adjusted(10, 1, -10, -1);
        QColor ink = pal.color(QPalette::WindowText);
        QColor tint = accent(pal);
        if (selected) {
            const QColor fill = focused
                ? accent(pal)
                : over(pal.color(QPalette::WindowText), isDark(pal) ? 0.16 : 0.1, pal.color(QPalette::Base));
            p->setPen(Qt::NoPen);
            p->setBrush(fill);
            p->drawRoundedRect(r, 6, 6);
            if (focused)
                ink = tint = pal.color(QPalette::HighlightedText);
        }
        const QString name = index.data(Qt::UserRole).toString();
        const QRectF icon(r.left() + 8, r.center().y() - 9, 18, 18);
        symbols::draw(*p, name, icon, 14, tint);
        p->setFont(font(TextStyle::body));
        p->setPen(ink);
        p->drawText(QRectF(icon.right() + 8, r.top(), r.right() - icon.right() - 12, r.height()),
            Qt::AlignVCenter | Qt::AlignLeft, index.data(Qt::DisplayRole).toString());
        p->restore();
    }
};

} // namespace

SettingsView::SettingsView(NimbraSettings& settings, Inputs inputs, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_inputs(std::move(inputs))
    , m_selection(startSection())
    , m_draft(settings.layout())
    , m_systemIsDark(m_inputs.systemIsDark)
    , m_previewTheme()
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_sidebarPane(new QWidget)
    , m_sidebar(new QListWidget)
    , m_stack(new QStackedWidget)
{
    if (!m_inputs.onLaunchAtLoginChange)
        m_inputs.onLaunchAtLoginChange = [](bool) {};
    if (!m_inputs.onHUDChange)
        m_inputs.onHUDChange = [](bool) { return false; };
    if (!m_inputs.isAccessibilityGranted)
        m_inputs.isAccessibilityGranted = [] { return false; };
    if (!m_inputs.onRequestAccessibility)
        m_inputs.onRequestAccessibility = [] {};
    if (!m_inputs.keyboardStatus)
        m_inputs.keyboardStatus = [] { return KeyboardStatus {}; };
    if (!m_inputs.isShortcutHeldElsewhere)
        m_inputs.isShortcutHeldElsewhere = [](const KeyCombo&) { return false; };
    m_previewTheme = previewTheme();

    setMinimumSize(720, 500);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setItemDelegate(new SidebarDelegate(m_sidebar));
    m_sidebar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_sidebar->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sidebarPane->setMinimumWidth(kSidebarMinimum);
    m_sidebarPane->setMaximumWidth(kSidebarMaximum);
    m_sidebarPane->setAutoFillBackground(true);
    m_sidebarPane->setBackgroundRole(QPalette::Base);
    auto* pane = new QVBoxLayout(m_sidebarPane);
    pane->setContentsMargins(0, 10, 0, 0);
    pane->addWidget(m_sidebar);
    m_sidebar->setSpacing(0);
    m_sidebar->setAccessibleName(QStringLiteral("Settings pages"));
    for (const Section section : kSettingsSections) {
        auto* item = new QListWidgetItem(title(section), m_sidebar);
        item->setData(Qt::UserRole, symbol(section));
        item->setSizeHint(QSize(0, kRowHeight));
    }
    m_sidebar->viewport()->setAutoFillBackground(true);

    m_splitter->addWidget(m_sidebarPane);
    m_splitter->addWidget(m_stack);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setHandleWidth(1);
    m_splitter->setSizes({ kSidebarIdeal, 760 - kSidebarIdeal });

    select(m_selection);
    m_sidebar->setCurrentRow(int(m_selection));
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < int(kSettingsSections.size()))
            select(kSettingsSections[size_t(row)]);
    });

    connect(&m_settings, &NimbraSettings::changed, this, &SettingsView::settingsChanged);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            refreshAccessibility();
    });
    syncSidebarPalette();
}

SettingsView::~SettingsView() = default;

void SettingsView::launchAtLoginChanged(bool on) const
{
    m_inputs.onLaunchAtLoginChange(on);
}

bool SettingsView::hudChanged(bool on)
{
    const bool taken = m_inputs.onHUDChange(on);
    refreshAccessibility();
    return taken;
}

void SettingsView::requestAccessibility() const
{
    m_inputs.onRequestAccessibility();
}

void SettingsView::select(Section section)
{
    QWidget* shown = page(section);
    m_stack->setCurrentWidget(shown);
    if (m_sidebar->currentRow() != int(section))
        m_sidebar->setCurrentRow(int(section));
    if (m_selection == section)
        return;
    m_selection = section;
    Q_EMIT selectionChanged();
}

QWidget* SettingsView::page(Section section)
{
    if (const auto it = m_pages.find(section); it != m_pages.end())
        return it->second;
    return buildPage(section);
}

QWidget* SettingsView::pageContent(Section section) const
{
    const auto it = m_contents.find(section);
    return it == m_contents.end() ? nullptr : it->second;
}

QScrollArea* SettingsView::currentScrollArea() const
{
    return qobject_cast<QScrollArea*>(m_stack->currentWidget());
}

int SettingsView::pageSpacing(Section section)
{
    switch (section) {
    case Section::hover:
    case Section::system:
    case Section::about:
        return 18;
    default:
        return 16;
    }
}

QWidget* SettingsView::buildPage(Section section)
{
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setAccessibleName(title(section));

    auto* sheet = new QWidget;
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(26, 26, 26, 26);
    column->setSpacing(20);
    column->addWidget(label(title(section), TextStyle::title2, Tone::primary, QFont::DemiBold));

    auto* content = new QWidget;
    auto* blocks = new QVBoxLayout(content);
    blocks->setContentsMargins(0, 0, 0, 0);
    blocks->setSpacing(pageSpacing(section));
    if (const SettingsPageBuilder builder = settingsPageBuilder(section))
        builder(*this, *blocks);
    column->addWidget(content);
    column->addStretch(1);
    // The wheel scrolls the page; passing over a control never changes a setting.
    WheelGuard::guard(sheet);
    scroll->setWidget(sheet);
    // The sheet is painted by the scroll area's window colour, not the base colour of a view.
    scroll->viewport()->setBackgroundRole(QPalette::Window);
    sheet->setBackgroundRole(QPalette::Window);

    m_pages[section] = scroll;
    m_contents[section] = content;
    m_stack->addWidget(scroll);
    adoptStyle(scroll);
    syncDimming();
    return scroll;
}

double SettingsView::pageOpacity(Section section) const
{
    switch (section) {
    case Section::music:
        return m_settings.nowPlayingEnabled() ? 1 : kDimmed;
    case Section::clipboard:
        return m_settings.clipboardEnabled() ? 1 : kDimmed;
    case Section::shelf:
        return m_settings.shelfEnabled() ? 1 : kDimmed;
    default:
        return 1;
    }
}

void SettingsView::syncDimming()
{
    for (const auto& [section, content] : m_contents)
        setOpacity(content, pageOpacity(section));
}

void SettingsView::setDraft(const LayoutMetrics& draft)
{
    if (draft == m_draft)
        return;
    m_draft = draft;
    if (m_isDragging && m_draft != m_settings.layout())
        m_settings.setLayout(m_draft);
    Q_EMIT draftChanged();
}

void SettingsView::commitDraft(const LayoutMetrics& draft)
{
    setDraft(draft);
    m_settings.setLayout(m_draft);
}

void SettingsView::setDragging(bool editing)
{
    m_isDragging = editing;
    if (!editing)
        m_settings.setLayout(m_draft);
}

void SettingsView::setStageState(NotchStageState state)
{
    if (state == m_stageState)
        return;
    m_stageState = state;
    Q_EMIT stageStateChanged();
}

void SettingsView::setPreviewedLevel(std::optional<int> percent)
{
    if (percent == m_previewedLevel)
        return;
    m_previewedLevel = percent;
    Q_EMIT previewedLevelChanged();
}

void SettingsView::setPreviewedKind(SystemLevel::Kind kind)
{
    if (kind == m_previewedKind)
        return;
    m_previewedKind = kind;
    Q_EMIT previewedKindChanged();
}

SystemLevel SettingsView::previewedLevelSample() const
{
    const std::optional<SystemLevel>& live
        = m_previewedKind == SystemLevel::Kind::volume ? m_inputs.levels.volume : m_inputs.levels.brightness;
    if (live)
        return *live;
    return SystemLevel(m_previewedKind, 0.6, false, true, std::nullopt);
}

void SettingsView::refreshAccessibility()
{
    const bool granted = m_inputs.isAccessibilityGranted();
    if (granted != m_accessibilityGranted) {
        m_accessibilityGranted = granted;
        Q_EMIT accessibilityGrantedChanged();
    }
    // Asking may take a key for a moment: only for a view that shows what it says.
    if (!isVisible())
        return;
    KeyboardStatus keys = m_inputs.keyboardStatus();
    if (keys != m_keyboardStatus) {
        m_keyboardStatus = std::move(keys);
        Q_EMIT keyboardStatusChanged();
    }
}

void SettingsView::setSystemIsDark(bool dark)
{
    if (dark == m_systemIsDark)
        return;
    m_systemIsDark = dark;
    settingsChanged(NimbraSettings::Property::appearance);
}

NotchTheme SettingsView::previewTheme() const
{
    return NotchTheme { isDark(m_settings.appearance(), m_systemIsDark), m_settings.clockFont() };
}

void SettingsView::settingsChanged(NimbraSettings::Property property)
{
    switch (property) {
    case NimbraSettings::Property::layout:
        // Reset buttons, another window or a drag: the previews follow the store.
        if (m_settings.layout() != m_draft) {
            m_draft = m_settings.layout();
            Q_EMIT draftChanged();
        }
        break;
    case NimbraSettings::Property::nowPlayingEnabled:
    case NimbraSettings::Property::clipboardEnabled:
    case NimbraSettings::Property::shelfEnabled:
        syncDimming();
        break;
    case NimbraSettings::Property::appearance:
    case NimbraSettings::Property::clockFont:
        if (const NotchTheme theme = previewTheme(); !(theme == m_previewTheme)) {
            m_previewTheme = theme;
            Q_EMIT previewThemeChanged();
        }
        break;
    default:
        break;
    }
}

void SettingsView::enableWhile(QWidget* widget, std::function<bool()> condition)
{
    followSettings(widget, [widget, condition = std::move(condition)] { widget->setEnabled(condition()); });
}

void SettingsView::followSettings(QObject* context, std::function<void()> refresh)
{
    refresh();
    connect(&m_settings, &NimbraSettings::changed, context, [refresh = std::move(refresh)] { refresh(); });
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshAccessibility();
}

void SettingsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        syncSidebarPalette();
}

void SettingsView::syncSidebarPalette()
{
    // The sidebar sits a shade apart from the page beside it.
    const QPalette& pal = palette();
    QPalette sidebar;
    const QColor shade = over(pal.color(QPalette::WindowText), isDark(pal) ? 0.04 : 0.035, pal.color(QPalette::Window));
    sidebar.setColor(QPalette::Base, shade);
    m_sidebarPane->setPalette(sidebar);
}

} // namespace nimbra
