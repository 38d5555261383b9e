// The row builders every settings page is made of.
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace nimbra {

using namespace settings_style;

QWidget* SettingsView::row(const QString& title, const QString& detail, QWidget* control)
{
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(18);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    // The heading is the control's buddy, which makes "&" a mnemonic marker: it is doubled.
    QLabel* heading = label(
        QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), TextStyle::body, Tone::primary, QFont::Medium);
    texts->addWidget(heading);
    if (!detail.isEmpty())
        texts->addWidget(label(detail, TextStyle::callout, Tone::secondary, QFont::Normal, true));
    line->addLayout(texts, 1);
    if (control) {
        // The control sits level with the title's line.
        line->addWidget(control, 0, Qt::AlignTop | Qt::AlignRight);
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(title);
        heading->setBuddy(control);
    }
    return row;
}

QWidget* SettingsView::switchRow(const QString& title, const QString& detail, Binding<bool> isOn)
{
    auto* toggle = new SwitchControl;
    toggle->setAccessibleName(title);
    connect(toggle, &QAbstractButton::toggled, toggle, [isOn](bool on) { isOn.set(on); });
    // The switch shows the store's value, also when the shell writes another one back.
    followSettings(toggle, [toggle, isOn] {
        if (toggle->isChecked() != isOn.get())
            toggle->setCheckedQuietly(isOn.get());
    });
    toggle->setCheckedQuietly(isOn.get());
    return row(title, detail, toggle);
}

QWidget* SettingsView::sliderRow(
    const QString& title, const QString& detail, double LayoutMetrics::*value, ClosedRange<double> range)
{
    auto* control = new QWidget;
    auto* line = new QHBoxLayout(control);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel* number = label({}, TextStyle::callout, Tone::secondary);
    number->setFixedWidth(34);
    number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setFixedWidth(180);
    slider->setRange(int(std::ceil(range.lower)), int(std::floor(range.upper)));
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setAccessibleName(title);
    line->addWidget(number, 0, Qt::AlignVCenter);
    line->addWidget(slider, 0, Qt::AlignVCenter);

    const auto show = [this, number, slider, value] {
        const double v = m_draft.*value;
        // Halves away from zero, as the label promises whole points.
        number->setText(QString::number(std::llround(v)));
        const bool blocked = slider->blockSignals(true);
        slider->setValue(int(std::llround(v)));
        slider->blockSignals(blocked);
    };
    show();
    connect(this, &SettingsView::draftChanged, slider, show);
    connect(slider, &QSlider::sliderPressed, this, [this] { setDragging(true); });
    connect(slider, &QSlider::sliderReleased, this, [this] { setDragging(false); });
    connect(slider, &QSlider::valueChanged, this, [this, slider, value](int position) {
        LayoutMetrics next = m_draft;
        next.*value = position;
        setDraft(next);
        // Keys, the wheel and a click on the groove move the slider without a drag: each such
        // step is a whole edit, so it reaches the store at once.
        if (!slider->isSliderDown())
            setDragging(false);
    });
    return row(title, detail, control);
}

} // namespace nimbra
