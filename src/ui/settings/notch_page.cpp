#include "ui/settings/notch_page.h"

#include "ui/settings/notch_stage.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

namespace {

// The rounded, faintly filled block that holds one state's sliders.
class EditingBlock : public QWidget {
public:
    EditingBlock()
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(14, 14, 14, 14);
        layout->setSpacing(14);
    }
    QVBoxLayout* column() const { return static_cast<QVBoxLayout*>(layout()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(over(palette().color(QPalette::WindowText), 0.04, palette().color(QPalette::Window)));
        p.drawRoundedRect(QRectF(rect()), 9, 9);
    }
};

QWidget* caption(const QString& text)
{
    return label(text, TextStyle::callout, Tone::secondary, QFont::Normal, true);
}

// One state's rows, as a page of the block's stack.
QWidget* stateRows(SettingsView& view, NotchStageState state)
{
    auto* rows = new QWidget;
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    switch (state) {
    case NotchStageState::collapsed:
        column->addWidget(caption(QStringLiteral("The shape that sits over the notch when nothing is happening.")));
        column->addWidget(view.sliderRow(QStringLiteral("Corner flare"),
            QStringLiteral("Where the shape meets the top edge of the screen."), &LayoutMetrics::collapsedTopRadius,
            LayoutMetrics::topRadiusRange));
        column->addWidget(view.sliderRow(QStringLiteral("Bottom corners"), {}, &LayoutMetrics::collapsedBottomRadius,
            LayoutMetrics::bottomRadiusRange));
        break;
    case NotchStageState::readout:
        column->addWidget(
            caption(QStringLiteral("The shape a passing readout takes — a track change, the charger going in.")));
        column->addWidget(view.sliderRow(QStringLiteral("Height"),
            QStringLiteral("How far a readout grows downward out of the notch."), &LayoutMetrics::activityHeight,
            LayoutMetrics::activityHeightRange));
        column->addWidget(view.sliderRow(QStringLiteral("Extra width"),
            QStringLiteral("Added to the notch's width, half on each side."), &LayoutMetrics::activityExtraWidth,
            LayoutMetrics::activityExtraWidthRange));
        column->addWidget(
            label(QStringLiteral("Readouts use the corners set under At rest."), TextStyle::caption, Tone::secondary));
        break;
    case NotchStageState::expanded:
        column->addWidget(caption(QStringLiteral("The panel you get when you hover.")));
        column->addWidget(view.sliderRow(
            QStringLiteral("Width"), {}, &LayoutMetrics::expandedWidth, LayoutMetrics::expandedWidthRange));
        column->addWidget(view.sliderRow(
            QStringLiteral("Height"), {}, &LayoutMetrics::expandedHeight, LayoutMetrics::expandedHeightRange));
        column->addWidget(divider());
        column->addWidget(view.sliderRow(
            QStringLiteral("Corner flare"), {}, &LayoutMetrics::expandedTopRadius, LayoutMetrics::topRadiusRange));
        column->addWidget(view.sliderRow(QStringLiteral("Bottom corners"), {}, &LayoutMetrics::expandedBottomRadius,
            LayoutMetrics::bottomRadiusRange));
        break;
    }
    return rows;
}

} // namespace

void notchPage(SettingsView& view, QVBoxLayout& column)
{
    if (const std::optional<NotchGeometry>& geometry = view.liveGeometry()) {
        auto* stage = new NotchStage(
            *geometry, view.draft(), view.previewTheme(), view.stageState(), true, NotchStage::Readout::charge());
        stage->onStateChange = [&view](NotchStageState state) { view.setStageState(state); };
        QObject::connect(
            &view, &SettingsView::stageStateChanged, stage, [stage, &view] { stage->setState(view.stageState()); });
        QObject::connect(
            &view, &SettingsView::draftChanged, stage, [stage, &view] { stage->setNotchLayout(view.draft()); });
        QObject::connect(
            &view, &SettingsView::previewThemeChanged, stage, [stage, &view] { stage->setTheme(view.previewTheme()); });
        column.addWidget(stage);
    } else {
        column.addWidget(label(QStringLiteral("No display detected."), TextStyle::body, Tone::secondary));
    }

    // The block shows the rows of the stage's state; all three are built once and kept.
    auto* block = new EditingBlock;
    auto* pages = new QStackedLayout;
    for (const NotchStageState state :
        { NotchStageState::collapsed, NotchStageState::readout, NotchStageState::expanded })
        pages->addWidget(stateRows(view, state));
    block->column()->addLayout(pages);
    const auto follow = [pages, &view] {
        pages->setCurrentIndex(int(view.stageState()));
        // Only the shown state's rows count towards the block's height.
        for (int i = 0; i < pages->count(); ++i)
            pages->widget(i)->setSizePolicy(
                QSizePolicy::Preferred, i == pages->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored);
        pages->invalidate();
    };
    follow();
    QObject::connect(&view, &SettingsView::stageStateChanged, block, follow);
    column.addWidget(block);

    auto* resetLine = new QHBoxLayout;
    resetLine->addStretch(1);
    auto* reset = new QPushButton(QStringLiteral("Reset Layout"));
    reset->setFont(font(TextStyle::callout));
    QObject::connect(reset, &QPushButton::clicked, reset, [&view] { view.commitDraft(LayoutMetrics::defaults()); });
    resetLine->addWidget(reset);
    column.addLayout(resetLine);
}

} // namespace nimbra
