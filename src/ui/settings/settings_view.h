#pragma once

#include "core/clamped.h"
#include "core/eye_motion.h"
#include "core/nimbra_settings.h"
#include "core/notch_geometry.h"
#include "core/system_level.h"
#include "core/key_combo.h"
#include "ui/settings/keyboard_status.h"
#include "ui/settings/live_levels.h"
#include "ui/settings/settings_section.h"
#include "ui/surface/notch_theme.h"

#include <QWidget>
#include <functional>
#include <map>
#include <optional>

class QListWidget;
class QScrollArea;
class QSplitter;
class QStackedWidget;
class QVBoxLayout;

namespace nimbra {

enum class NotchStageState { collapsed, readout, expanded };

// Two-way access to one value: the controls of the pages are bound to the settings store (or
// to the view's own state) through these.
template <typename T> struct Binding {
    std::function<T()> get;
    std::function<void(const T&)> set;
};

// The root of the settings window: a sidebar with the twelve pages and, beside it, the page
// that is chosen, in a scroll area under its title. It holds the state several pages share
// (the draft notch layout, the stage's state, the previewed level and kind, whether
// Accessibility is granted), the theme in which pages draw their previews, and the row
// builders every page is made of. Pages are built the first time they are shown.
//
// The notch page edits a draft of the layout: the draft reaches the store while a layout slider
// is dragged (at every step where it differs), once more when the drag ends, and at once when a
// slider moves without a drag (keys, wheel, a click on the groove). A change of the store's
// layout moves the draft.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    using Section = SettingsSection;

    struct Inputs {
        QString displaySummary;
        std::function<void(bool)> onLaunchAtLoginChange;
        std::function<bool(bool)> onHUDChange;
        std::function<bool()> isAccessibilityGranted;
        std::function<void()> onRequestAccessibility;
        std::optional<NotchGeometry> liveGeometry;
        LiveLevels levels;
        // How the desktop draws windows when the view is made (see setSystemIsDark()).
        bool systemIsDark = false;
        // A manual update check; none leaves the about page without one.
        std::function<void()> checkForUpdates;
        // Why this build cannot check for updates; empty when it can.
        QString updatesUnavailable;
        // What Nimbra holds of the keyboard, asked whenever accessibility is.
        std::function<KeyboardStatus()> keyboardStatus;
        // Whether another program holds a combination the recorder was given.
        std::function<bool(const KeyCombo&)> isShortcutHeldElsewhere;
    };

    SettingsView(NimbraSettings& settings, Inputs inputs, QWidget* parent = nullptr);
    ~SettingsView() override;

    NimbraSettings& settings() const { return m_settings; }

    // Snapshots taken when the window was shown, and the shell's closures (never empty).
    const QString& displaySummary() const { return m_inputs.displaySummary; }
    const std::optional<NotchGeometry>& liveGeometry() const { return m_inputs.liveGeometry; }
    const LiveLevels& levels() const { return m_inputs.levels; }
    void launchAtLoginChanged(bool on) const;
    bool hudChanged(bool on);
    void requestAccessibility() const;
    const std::function<void()>& checkForUpdates() const { return m_inputs.checkForUpdates; }
    const QString& updatesUnavailable() const { return m_inputs.updatesUnavailable; }

    Section selection() const { return m_selection; }
    void select(Section section);

    const LayoutMetrics& draft() const { return m_draft; }
    // A new draft; written to the store only while a layout slider is dragged.
    void setDraft(const LayoutMetrics& draft);
    // Sets the draft and writes it to the store (the resets).
    void commitDraft(const LayoutMetrics& draft);
    bool isDragging() const { return m_isDragging; }
    // A layout slider's editing flag: true when a drag begins; false writes the draft.
    void setDragging(bool editing);

    NotchStageState stageState() const { return m_stageState; }
    void setStageState(NotchStageState state);
    std::optional<int> previewedLevel() const { return m_previewedLevel; }
    void setPreviewedLevel(std::optional<int> percent);
    SystemLevel::Kind previewedKind() const { return m_previewedKind; }
    void setPreviewedKind(SystemLevel::Kind kind);
    // The live reading of the previewed kind (volume, else brightness); without one, an
    // available sample at 60 %.
    SystemLevel previewedLevelSample() const;
    // A readout tile that makes its kind the previewed one (the Sound page's choices).
    QWidget* levelChoice(SystemLevel::Kind kind);

    bool accessibilityGranted() const { return m_accessibilityGranted; }
    const KeyboardStatus& keyboardStatus() const { return m_keyboardStatus; }
    bool isShortcutHeldElsewhere(const KeyCombo& combo) const { return m_inputs.isShortcutHeldElsewhere(combo); }
    // Asks the shell again, for both; called when the view shows, when the application is
    // activated, after the media-key switch and when the shell says the keys changed.
    void refreshAccessibility();

    // How the desktop draws windows right now (for the "system" appearance).
    bool systemIsDark() const { return m_systemIsDark; }
    void setSystemIsDark(bool dark);
    // The theme every page preview is drawn in: the appearance setting (system: the desktop's
    // scheme) and the clock font.
    NotchTheme previewTheme() const;

    // Row builders. Every row is a title (medium weight) over an optional detail (callout,
    // secondary, wrapped), with the control at the trailing end.
    QWidget* row(const QString& title, const QString& detail, QWidget* control);
    QWidget* switchRow(const QString& title, const QString& detail, Binding<bool> isOn);
    // A value label and a slider over one field of the draft layout, committed by the rule above.
    QWidget* sliderRow(
        const QString& title, const QString& detail, double LayoutMetrics::*value, ClosedRange<double> range);
    // A binding to one field of the store's eye style; each write is one write of the whole style.
    template <typename T> Binding<T> eyePick(T EyeStyle::*field)
    {
        NimbraSettings* store = &m_settings;
        return { [store, field] { return store->eyeStyle().*field; },
            [store, field](const T& value) { store->mutateEyeStyle([&](EyeStyle& style) { style.*field = value; }); } };
    }
    // A binding to a store property through its getter and setter.
    template <typename T, typename Getter, typename Setter> Binding<T> bind(Getter getter, Setter setter)
    {
        NimbraSettings* store = &m_settings;
        return { [store, getter] { return T((store->*getter)()); },
            [store, setter](const T& value) { (store->*setter)(value); } };
    }
    // Keeps `widget` enabled while `condition` holds, re-checked on every settings change.
    void enableWhile(QWidget* widget, std::function<bool()> condition);
    // Calls `refresh` now and after every settings change, for as long as `context` lives.
    void followSettings(QObject* context, std::function<void()> refresh);

    // The page of a section (built on first use) and the frame's parts, for tests.
    QWidget* page(Section section);
    QWidget* pageContent(Section section) const;
    QListWidget* sidebar() const { return m_sidebar; }
    QScrollArea* currentScrollArea() const;
    // The page's opacity: 0.55 while the feature of a dimmed page is off, else 1.
    double pageOpacity(Section section) const;
    // Page spacing: 18 for hover, sound and about, 16 for the others.
    static int pageSpacing(Section section);

Q_SIGNALS:
    void selectionChanged();
    void draftChanged();
    void stageStateChanged();
    void previewedLevelChanged();
    void previewedKindChanged();
    void accessibilityGrantedChanged();
    void keyboardStatusChanged();
    void previewThemeChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildPage(Section section);
    void settingsChanged(NimbraSettings::Property property);
    void syncDimming();
    void syncSidebarPalette();

    NimbraSettings& m_settings;
    Inputs m_inputs;
    Section m_selection;
    LayoutMetrics m_draft;
    NotchStageState m_stageState = NotchStageState::expanded;
    std::optional<int> m_previewedLevel;
    SystemLevel::Kind m_previewedKind = SystemLevel::Kind::volume;
    bool m_isDragging = false;
    bool m_accessibilityGranted = false;
    KeyboardStatus m_keyboardStatus;
    bool m_systemIsDark = false;
    NotchTheme m_previewTheme;

    QSplitter* m_splitter;
    QWidget* m_sidebarPane;
    QListWidget* m_sidebar;
    QStackedWidget* m_stack;
    std::map<Section, QScrollArea*> m_pages;
    std::map<Section, QWidget*> m_contents;
};

} // namespace nimbra
