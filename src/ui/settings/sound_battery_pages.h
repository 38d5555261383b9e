#pragma once

#include "ui/settings/capability_row.h"
#include "ui/settings/keyboard_status.h"
#include "ui/settings/live_levels.h"

#include <QAbstractButton>
#include <optional>

class QVBoxLayout;

namespace nimbra {

class SettingsView;

// The Sound page: the notch showing the chosen level's readout, the brightness rule, what works
// on this machine, and the takeover of the desktop's own volume and brightness overlay.
void soundPage(SettingsView& view, QVBoxLayout& column);
// The Battery page: the charger readout, the low-battery warning levels with a preview of each,
// and the hover glance.
void batteryPage(SettingsView& view, QVBoxLayout& column);

// The capability rows of the Sound page, from the readings the window was opened with and
// whether Nimbra may take the keys on this display server.
struct SoundCapabilities {
    static CapabilityRow::Status volume(const LiveLevels& levels);
    static CapabilityRow::Status brightness(const LiveLevels& levels);
    // What is true of the media keys: they cannot be taken here, another program holds some of
    // them, they are taken, or they are free to take.
    static CapabilityRow::Status keyTakeover(bool keysAvailable, const KeyboardStatus& keys = {});
    // A reading as a whole percent ("50%"); none without a reading.
    static std::optional<QString> reading(const std::optional<SystemLevel>& level);
};

// The texts of the Battery page's warning block.
struct BatteryTexts {
    // Under the chips while a level is previewed: whether that level is switched on.
    static QString previewCaption(int level, bool isOn);
    static QString noWarnings() { return QStringLiteral("No warnings — the battery will run down silently."); }
};

// One low-battery level to warn at, as a toggle chip: accent-filled while on.
class LevelChip : public QAbstractButton {
    Q_OBJECT
public:
    LevelChip(int level, bool isOn, QWidget* parent = nullptr);

    int level() const { return m_level; }
    bool isOn() const { return m_on; }
    void setOn(bool on);
    // "Warn at 20%" while on, "Don't warn at 20%" while off.
    static QString toolTipText(int level, bool isOn);

    QSize sizeHint() const override { return { 50, 28 }; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int m_level;
    bool m_on;
};

} // namespace nimbra
