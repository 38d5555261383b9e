#include "ui/onboarding/onboarding_view.h"

#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

namespace {

// One dot per step, the current one in the accent colour.
class PageDots final : public QWidget {
public:
    PageDots(int count, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_count(count)
    {
        setFixedSize(count * 6 + (count - 1) * 6, 6);
    }
    void setCurrent(int current)
    {
        m_current = current;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        QColor other = palette().color(QPalette::WindowText);
        other.setAlphaF(0.16f);
        for (int i = 0; i < m_count; ++i) {
            p.setBrush(i == m_current ? accent(palette()) : other);
            p.drawEllipse(QRectF(i * 12, 0, 6, 6));
        }
    }

private:
    int m_count;
    int m_current = 0;
};

// Push buttons with room around their titles; the default one filled with the accent, as the
// button Return presses looks on this desktop's dialogs.
void styleButton(QPushButton* button, bool isDefault, const QPalette& window)
{
    if (isDefault) {
        const QColor fill = accent(window);
        button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                             " border-radius: 5px; padding: 5px 14px; }"
                                             "QPushButton:pressed { background: %2; }")
                                  .arg(fill.name(), fill.darker(120).name()));
    } else {
        button->setStyleSheet({});
    }
    button->setMinimumWidth(0);
    button->setMinimumWidth(button->sizeHint().width() + (isDefault ? 0 : 20));
}

QLabel* centred(QLabel* label)
{
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

} // namespace

OnboardingView::OnboardingView(std::function<bool()> isAccessibilityGranted,
    std::function<void()> onRequestAccessibility, std::function<void()> onFinish, Context context, QWidget* parent)
    : QWidget(parent)
    , m_isAccessibilityGranted(std::move(isAccessibilityGranted))
    , m_onRequestAccessibility(std::move(onRequestAccessibility))
    , m_onFinish(std::move(onFinish))
    , m_context(std::move(context))
{
    setFocusPolicy(Qt::StrongFocus);
    build();
    m_fittedHeight = measureTallestStep();
    setFixedSize(width, m_fittedHeight);
    showStep();
    // Coming back to Nimbra (from a terminal, after logging in again...) asks once more.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            refreshGranted();
    });
}

QList<OnboardingView::Step> OnboardingView::steps() const
{
    using Scene = OnboardingStage::Scene;
    const QString hotKey = m_context.hotKey.isEmpty() ? QStringLiteral("the clipboard's hot key") : m_context.hotKey;
    const QString lastTitle = m_granted ? QStringLiteral("You're all set")
        : m_context.needsX11Session     ? QStringLiteral("Two things need an X11 session")
                                        : QStringLiteral("Two things need XTEST and XKB");
    return {
        { QStringLiteral("Nimbra lives in the notch"),
            QStringLiteral("Move the pointer to the top of the screen and it opens. Move away and it's gone again — "
                           "nothing sits on your desktop and nothing covers your top panel."),
            Scene::hover },
        { QStringLiteral("What's playing, without switching apps"),
            QStringLiteral("Artwork, the track, and a scrubber you can actually drag. Spotify and other MPRIS "
                           "players, with a readout when the track changes."),
            Scene::music },
        { QStringLiteral("Everything you've copied"),
            QStringLiteral("Press %1 anywhere. Type to narrow it down, press Return and it pastes straight back into "
                           "whatever you were doing. Kept in memory only, never written to disk.")
                .arg(hotKey),
            Scene::clipboard },
        { QStringLiteral("Somewhere to put files down"),
            QStringLiteral("Drag files onto the notch and they wait there. Drag them out into any window when you need "
                           "them — no detour through the file manager, no Downloads folder full of things you "
                           "needed once."),
            Scene::shelf },
        { QStringLiteral("A stopwatch, a timer, and focus blocks"),
            QStringLiteral("All three in one place, with the running one left in the notch so you can see it without "
                           "opening anything. It rings when it's done."),
            Scene::timers },
        { QStringLiteral("And a pair of eyes, if you like"),
            QStringLiteral("They follow the pointer from the system tray, blink, and go bloodshot when the battery is "
                           "low. Off by default — turn them on in Settings."),
            Scene::eyes },
        { lastTitle, QString(), std::nullopt },
    };
}

void OnboardingView::build()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* area = new QWidget;
    auto* column = new QVBoxLayout(area);
    // The tallest step ends this far above the footer.
    column->setContentsMargins(36, 26, 36, 24);
    column->setSpacing(18);
    // Takes a share of the spare height only on a step without a scene, which then sits in the
    // middle of the window the scenes' steps fill.
    column->addStretch(0);
    m_column = column;
    m_stage = new OnboardingStage(OnboardingStage::Scene::hover, 132, 26);
    column->addWidget(m_stage);
    m_textColumn = new QVBoxLayout;
    m_textColumn->setSpacing(8);
    m_title = centred(label({}, TextStyle::title2, Tone::primary, QFont::DemiBold, true));
    m_body = centred(label({}, TextStyle::callout, Tone::secondary, QFont::Normal, true));
    m_textColumn->addWidget(m_title);
    m_textColumn->addWidget(m_body);
    column->addLayout(m_textColumn);
    column->addStretch(1);
    layout->addWidget(area, 1);

    layout->addWidget(divider());
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(10);
    m_back = new QPushButton(QStringLiteral("Back"));
    m_skip = new QPushButton(QStringLiteral("Skip"));
    m_continue = new QPushButton(QStringLiteral("Continue"));
    m_finish = new QPushButton;
    auto* dots = new PageDots(stepCount);
    m_dots = dots;
    footer->addWidget(m_back);
    footer->addStretch(1);
    footer->addWidget(dots);
    footer->addStretch(1);
    footer->addWidget(m_skip);
    footer->addWidget(m_continue);
    footer->addWidget(m_finish);
    layout->addLayout(footer);
    for (QPushButton* button : { m_back, m_skip, m_continue, m_finish })
        button->setAutoDefault(false);

    connect(m_back, &QPushButton::clicked, this, [this] { move(m_step - 1); });
    connect(m_continue, &QPushButton::clicked, this, [this] { move(m_step + 1); });
    connect(m_skip, &QPushButton::clicked, this, [this] {
        if (m_onFinish)
            m_onFinish();
    });
    connect(m_finish, &QPushButton::clicked, this, [this] {
        if (m_onFinish)
            m_onFinish();
    });
}

int OnboardingView::measureTallestStep()
{
    const int step = m_step;
    const bool granted = m_granted;
    int tallest = 0;
    for (const bool answer : { false, true }) {
        m_granted = answer;
        for (m_step = 0; m_step < stepCount; ++m_step) {
            if (m_step < permissionStep && answer)
                continue;
            showStep();
            tallest = std::max(tallest, layout()->totalHeightForWidth(width));
        }
    }
    m_step = step;
    m_granted = granted;
    return tallest;
}

void OnboardingView::showStep()
{
    const QList<Step> all = steps();
    const Step& current = all[m_step];
    const bool last = m_step == permissionStep;
    if (current.scene)
        m_stage->setScene(*current.scene);
    m_stage->setVisible(current.scene.has_value());
    m_column->setStretch(0, current.scene ? 0 : 1);
    m_title->setText(current.title);
    m_body->setText(current.body);
    m_body->setVisible(!last);

    if (last && m_permissionBuiltFor != m_granted) {
        delete m_permission;
        m_permission = permissionBody();
        m_textColumn->addWidget(m_permission);
        m_permissionBuiltFor = m_granted;
    }
    if (m_permission)
        m_permission->setVisible(last);

    m_back->setVisible(m_step >= 1);
    m_skip->setVisible(!last);
    m_continue->setVisible(!last);
    m_finish->setVisible(last);
    m_finish->setText(m_granted ? QStringLiteral("Start using Nimbra") : QStringLiteral("Not now"));
    m_continue->setDefault(!last);
    m_finish->setDefault(last);
    for (QPushButton* button : { m_back, m_skip, m_continue, m_finish })
        styleButton(button, button == defaultButton(), palette());
    static_cast<PageDots*>(m_dots)->setCurrent(m_step);
    adoptStyle(this);
}

QWidget* OnboardingView::permissionBody()
{
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->setSpacing(14);
    if (m_granted) {
        layout->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"), 38, SymbolView::Tint::positive), 0,
            Qt::AlignHCenter);
        // Taking the keys is available, but the default leaves the desktop's own display alone.
        const QString text = m_context.replacesDesktopReadouts
            ? QStringLiteral("Key takeover is available, so the volume and brightness readouts replace the desktop's "
                             "own and the clipboard can paste for you.")
            : QStringLiteral("Key takeover is available, so the volume and brightness readouts can replace the "
                             "desktop's own (turn that on in Settings, under Sound) and the clipboard can paste for "
                             "you.");
        layout->addWidget(centred(label(text, TextStyle::callout, Tone::secondary, QFont::Normal, true)));
        return body;
    }
    auto* reasons = new QVBoxLayout;
    reasons->setSpacing(12);
    const QString keyDetail = m_context.needsX11Session
        ? QStringLiteral("Under Wayland the desktop sees the key first and draws its own panel.")
        : QStringLiteral("Nimbra has to see the key before the desktop draws its own panel.");
    const QString pasteDetail = m_context.needsX11Session
        ? QStringLiteral("Putting an entry back on the clipboard is free; pressing Ctrl+V for you needs X11.")
        : QStringLiteral("Putting an entry back on the clipboard is free; pressing Ctrl+V for you is not.");
    reasons->addWidget(reasonRow(QStringLiteral("speaker.wave.2"),
        QStringLiteral("Replacing the volume and brightness on-screen display"), keyDetail));
    reasons->addWidget(
        reasonRow(QStringLiteral("doc.on.clipboard"), QStringLiteral("Pasting from the clipboard"), pasteDetail));
    auto* reasonsBox = new QWidget;
    reasonsBox->setLayout(reasons);
    layout->addWidget(reasonsBox, 0, Qt::AlignHCenter);
    layout->addWidget(centred(
        label(QStringLiteral("Everything else — the notch, music, timers, the shelf and the eyes — works without it."),
            TextStyle::caption, Tone::secondary, QFont::Normal, true)));
    // Under Wayland there is nothing to ask again: only another session changes the answer.
    if (!m_context.needsX11Session) {
        auto* check = new QPushButton(QStringLiteral("Check Again"));
        check->setObjectName(QStringLiteral("request"));
        check->setAutoDefault(false);
        check->setMinimumHeight(32);
        check->setFont(settings_style::font(TextStyle::body));
        styleButton(check, false, palette());
        connect(check, &QPushButton::clicked, this, [this] {
            if (m_onRequestAccessibility)
                m_onRequestAccessibility();
            // The answer is there at once: nothing waits for the user elsewhere.
            refreshGranted();
        });
        layout->addWidget(check, 0, Qt::AlignHCenter);
    }
    return body;
}

QWidget* OnboardingView::reasonRow(const QString& symbol, const QString& title, const QString& detail)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* icon = new SymbolView(symbol, 15, SymbolView::Tint::accent);
    auto* iconBox = new QWidget;
    iconBox->setFixedWidth(22);
    auto* iconLayout = new QVBoxLayout(iconBox);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconLayout->addWidget(icon, 0, Qt::AlignHCenter | Qt::AlignTop);
    iconLayout->addStretch(1);
    layout->addWidget(iconBox);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(label(title, TextStyle::callout, Tone::primary, QFont::Medium));
    QLabel* detailLabel = label(detail, TextStyle::caption, Tone::secondary, QFont::Normal, true);
    detailLabel->setMinimumWidth(330);
    texts->addWidget(detailLabel);
    layout->addLayout(texts, 1);
    return row;
}

void OnboardingView::move(int index)
{
    const int clamped = std::clamp(index, 0, stepCount - 1);
    if (clamped == m_step)
        return;
    m_step = clamped;
    showStep();
}

void OnboardingView::refreshGranted()
{
    const bool granted = m_isAccessibilityGranted && m_isAccessibilityGranted();
    if (granted == m_granted)
        return;
    m_granted = granted;
    showStep();
}

QString OnboardingView::title() const
{
    return m_title->text();
}

QPushButton* OnboardingView::button(const QString& text) const
{
    for (QPushButton* candidate : findChildren<QPushButton*>()) {
        if (candidate->text() == text && candidate->isVisibleTo(this))
            return candidate;
    }
    return nullptr;
}

QPushButton* OnboardingView::defaultButton() const
{
    return m_step == permissionStep ? m_finish : m_continue;
}

void OnboardingView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A new light or dark palette recolours the default button too.
    if (event->type() == QEvent::PaletteChange && m_finish)
        showStep();
}

void OnboardingView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshGranted();
}

void OnboardingView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        defaultButton()->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace nimbra
