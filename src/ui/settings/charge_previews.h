#pragma once

#include <QWidget>
#include <optional>

namespace nimbra {

// The still battery readout the battery page shows inside its notch preview, in the theme it
// inherits: the charging sample (a bolt, "80%", "Charging" over a green bar), or the warning
// for a low level (a triangle, the level, "Low Battery" over a red bar of that length).
class ChargePreview : public QWidget {
    Q_OBJECT
public:
    static constexpr double barWidth = 188;

    explicit ChargePreview(std::optional<int> lowLevel = std::nullopt, QWidget* parent = nullptr);

    // None shows the charging sample.
    const std::optional<int>& lowLevel() const { return m_lowLevel; }
    void setLowLevel(std::optional<int> level);

    // The texts of the row above the bar.
    QString levelText() const;
    QString captionText() const;
    // The fill of the bar: 150 while charging; for a warning its share of the bar, 4 at least.
    static double fillWidth(std::optional<int> lowLevel);
    // The warning's colour, whatever the theme.
    static QColor alertColour();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::optional<int> m_lowLevel;
};

} // namespace nimbra
