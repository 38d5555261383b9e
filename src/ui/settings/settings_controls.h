#pragma once

#include "ui/surface/spring.h"

#include <QAbstractButton>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace nimbra {

// An on/off switch: a capsule track with a round knob that slides to the side it stands for.
// Space toggles it when it has the focus.
class SwitchControl : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchControl(QWidget* parent = nullptr);

    // Sets the state without the knob travelling and without emitting toggled().
    void setCheckedQuietly(bool on);
    QSize sizeHint() const override { return { 36, 20 }; }
    // True while the knob travels.
    bool isAnimating() const { return m_frames.isActive(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    void travel();

    SpringValue m_knob;
    FrameTimer m_frames;
};

// A row of mutually exclusive segments, one of them chosen. Left and right arrows move the
// choice when it has the focus.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& titles, QWidget* parent = nullptr);

    int currentIndex() const { return m_current; }
    // Chooses a segment without emitting activated().
    void setCurrentIndex(int index);
    int count() const { return int(m_titles.size()); }
    const QStringList& titles() const { return m_titles; }
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // The user chose a segment.
    void activated(int index);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(int index);

    QStringList m_titles;
    int m_current = 0;
};

// A symbol drawn in one of the window's text colours, so it follows the palette.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    enum class Tint { secondary, tertiary, accent, positive };
    SymbolView(const QString& symbol, double fontSize, Tint tint, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    double m_fontSize;
    Tint m_tint;
};

} // namespace nimbra
