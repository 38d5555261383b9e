#pragma once

#include "ui/settings/settings_style.h"

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QWidget>
#include <functional>

class QComboBox;
class QPushButton;

// Pieces several settings pages are built from, beside the row builders of the view.
namespace nimbra::settings_style {

// The system's signal colours, a shade apart in the dark appearance.
QColor orange(const QPalette& palette);
QColor green(const QPalette& palette);
// The colour of a control's thin outline.
QColor separator(const QPalette& palette);

// A page's opening: a heading (title 3, semibold) over a wrapping body (callout, secondary).
QWidget* introBlock(const QString& heading, const QString& body);

// A small push button (callout font), as under a page's last row.
QPushButton* smallButton(const QString& title);
// A button drawn as a link: text in the link colour, no bezel.
QPushButton* linkButton(const QString& title);
// A value beside a slider or stepper: callout, secondary, right-aligned in a fixed width.
QLabel* valueLabel(int width);

} // namespace nimbra::settings_style

namespace nimbra {

class SettingsView;

// A pop-up menu of `titles`, `width` wide, showing the entry `current()` names (none when it
// names no entry) after every settings change; choosing entry i calls `choose(i)`.
QComboBox* popUpPicker(SettingsView& view, int width, const QStringList& titles, std::function<int()> current,
    std::function<void(int)> choose);
// Keeps `widget` enabled while `condition` holds (re-checked after every settings change); while
// it does not, the widget is drawn in the disabled colours, dimmed yet legible.
void enableAndDimWhile(SettingsView& view, QWidget* widget, std::function<bool()> condition);
// Draws `widget` at `opacity` (no effect at all at full opacity).
void setOpacity(QWidget* widget, double opacity);

// A label in a colour drawn from the window's palette (orange, green, secondary), following
// the palette's changes.
class SignalLabel : public QLabel {
    Q_OBJECT
public:
    using Colour = QColor (*)(const QPalette&);
    SignalLabel(const QString& text, settings_style::TextStyle style, Colour colour, QWidget* parent = nullptr);
    void setColour(Colour colour);

protected:
    void changeEvent(QEvent* event) override;

private:
    void apply();
    Colour m_colour;
};

// A page's note: a symbol beside its content, on a rounded tint: green (the symbol green too),
// or the text colour (the symbol secondary).
class NoteBox : public QWidget {
    Q_OBJECT
public:
    enum class Tint { green, secondary };
    NoteBox(const QString& symbol, Tint tint, QWidget* content, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Tint m_tint;
};

// Up and down arrows that step an integer within a range, one at a time. The arrows (or the
// Up and Down keys on the focused control) stop at the range's ends.
class StepperControl : public QWidget {
    Q_OBJECT
public:
    StepperControl(int minimum, int maximum, QWidget* parent = nullptr);

    int value() const { return m_value; }
    // Shows a value without emitting stepped(); it need not lie in the range.
    void setValue(int value);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // One step up (+1) or down (−1), if the range allows it.
    void step(int direction);

    QSize sizeHint() const override { return { 15, 22 }; }

Q_SIGNALS:
    // The user stepped to `value`.
    void stepped(int value);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_minimum;
    int m_maximum;
    int m_value;
};

// A swatch of a colour; a click opens the colour chooser (without opacity), and the chosen
// colour is handed to `onPick`.
class ColourWell : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColourWell(QWidget* parent = nullptr);

    QColor colour() const { return m_colour; }
    void setColour(const QColor& colour);
    std::function<void(const QColor&)> onPick;

    QSize sizeHint() const override { return { 44, 24 }; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void choose();

    QColor m_colour;
};

} // namespace nimbra
