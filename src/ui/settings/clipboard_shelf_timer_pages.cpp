#include "ui/settings/clipboard_shelf_timer_pages.h"

#include "core/nimbra_settings.h"
#include "core/settings_ranges.h"
#include "ui/settings/capability_row.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/shortcut_recorder.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <array>

namespace nimbra {

using namespace settings_style;

namespace {

constexpr auto kAutoCloseChoices = settings_ranges::clipboardAutoCloseSeconds;
constexpr auto kHistoryLimits = settings_ranges::clipboardHistoryLimits;

template <std::size_t N> int indexOf(const std::array<int, N>& choices, int value)
{
    const auto it = std::find(choices.begin(), choices.end(), value);
    return it == choices.end() ? -1 : int(it - choices.begin());
}

// "History never touches the disk", with what that means beneath it.
QWidget* memoryNote()
{
    auto* texts = new QWidget;
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(
        label(QStringLiteral("History never touches the disk"), TextStyle::body, Tone::primary, QFont::Medium));
    column->addWidget(label(QStringLiteral("Everything is held in memory and gone the moment Nimbra quits. Items "
                                           "marked confidential by password managers are never recorded at all."),
        TextStyle::callout, Tone::secondary, QFont::Normal, true));
    return new NoteBox(QStringLiteral("lock.shield"), NoteBox::Tint::green, texts);
}

} // namespace

QString ClipboardTexts::autoCloseTitle(int seconds)
{
    if (seconds == 0)
        return QStringLiteral("Never");
    return QStringLiteral("After %1s").arg(seconds);
}

QString ClipboardTexts::historyLimitTitle(int items)
{
    return QStringLiteral("%1 items").arg(items);
}

QString ClipboardTexts::pasteDetail(bool canPaste)
{
    if (canPaste)
        return QStringLiteral("Choosing an entry pastes it into the app you were using.");
    return QStringLiteral("Pasting back needs an X11 session. Under Wayland, choosing an entry only copies it.");
}

QString ClipboardTexts::hotKeyHeldElsewhere(const KeyCombo& combo)
{
    return QStringLiteral("Another program holds %1, so it opens nothing now. Nimbra tries again whenever one of "
                          "its windows comes to the front; you can also record another shortcut.")
        .arg(combo.displayString());
}

void clipboardPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    column.addWidget(view.switchRow(QStringLiteral("Remember what I copy"),
        QStringLiteral("Nimbra keeps a history you can search and paste from. The X server announces each change of "
                       "the clipboard, so nothing is polled — measured at 0% CPU while idle."),
        view.bind<bool>(&NimbraSettings::clipboardEnabled, &NimbraSettings::setClipboardEnabled)));
    column.addWidget(divider());
    column.addWidget(memoryNote());
    column.addWidget(divider());

    // Pasting back types Ctrl+V into the window in front: only an X11 server lets Nimbra do that.
    auto* paste = new CapabilityRow(
        QStringLiteral("Paste where you were"), CapabilityRow::Status::unavailable(ClipboardTexts::pasteDetail(false)));
    const auto follow = [paste, &view] {
        const bool granted = view.accessibilityGranted();
        const QString detail = ClipboardTexts::pasteDetail(granted);
        paste->setStatus(
            granted ? CapabilityRow::Status::available(detail) : CapabilityRow::Status::unavailable(detail));
    };
    follow();
    QObject::connect(&view, &SettingsView::accessibilityGrantedChanged, paste, follow);
    column.addWidget(paste);
    column.addWidget(divider());

    auto* recorder = new ShortcutRecorder(
        view.bind<KeyCombo>(&NimbraSettings::clipboardHotKey, &NimbraSettings::setClipboardHotKey),
        [&view](const KeyCombo& combo) { return view.isShortcutHeldElsewhere(combo); });
    view.followSettings(recorder, [recorder] { recorder->refresh(); });
    column.addWidget(view.row(QStringLiteral("Shortcut"),
        QStringLiteral("Opens the clipboard wherever you are. Arrow keys to choose, Return to paste it, "
                       "Ctrl+Backspace to delete."),
        recorder));
    // While another program holds the hot key it opens nothing, and the page says so.
    auto* held = new SignalLabel({}, TextStyle::callout, &orange);
    held->setWordWrap(true);
    held->setAccessibleName(QStringLiteral("Shortcut held elsewhere"));
    const auto followHotKey = [held, &view, &settings] {
        held->setText(ClipboardTexts::hotKeyHeldElsewhere(settings.clipboardHotKey()));
        held->setVisible(view.keyboardStatus().hotKeyHeldElsewhere);
    };
    view.followSettings(held, followHotKey);
    QObject::connect(&view, &SettingsView::keyboardStatusChanged, held, followHotKey);
    column.addWidget(held);
    column.addWidget(divider());

    QStringList closeTitles;
    for (const int seconds : kAutoCloseChoices)
        closeTitles << ClipboardTexts::autoCloseTitle(seconds);
    QComboBox* close = popUpPicker(
        view, 130, closeTitles,
        [&settings] { return indexOf(kAutoCloseChoices, settings.clipboardAutoCloseSeconds()); },
        [&settings](int index) { settings.setClipboardAutoCloseSeconds(kAutoCloseChoices[size_t(index)]); });
    column.addWidget(view.row(QStringLiteral("Close it again"),
        QStringLiteral("However it was opened, the clipboard also closes on Escape, after you paste, when you move "
                       "the pointer off it, and when you click into another app."),
        close));
    column.addWidget(divider());

    QStringList limitTitles;
    for (const int items : kHistoryLimits)
        limitTitles << ClipboardTexts::historyLimitTitle(items);
    QComboBox* keep = popUpPicker(
        view, 130, limitTitles, [&settings] { return indexOf(kHistoryLimits, settings.clipboardHistoryLimit()); },
        [&settings](int index) { settings.setClipboardHistoryLimit(kHistoryLimits[size_t(index)]); });
    column.addWidget(view.row(QStringLiteral("Keep"),
        QStringLiteral("Older entries are dropped once the list is full. Pinned items are never dropped."), keep));
    column.addWidget(view.switchRow(QStringLiteral("Remember images too"),
        QStringLiteral("Screenshots and copied pictures, capped so one enormous image can't crowd out everything "
                       "else."),
        view.bind<bool>(&NimbraSettings::clipboardKeepsImages, &NimbraSettings::setClipboardKeepsImages)));
}

void shelfPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    column.addWidget(introBlock(QStringLiteral("A place to put things down"),
        QStringLiteral("Drag files onto the notch and they wait there. Drag them back out into any window when you "
                       "need them — no detour through the file manager, and no Downloads folder full of things you "
                       "only needed for a minute.")));
    column.addWidget(view.switchRow(QStringLiteral("Catch files dropped on the notch"),
        QStringLiteral("The notch opens as you drag something over it and shows where to let go."),
        view.bind<bool>(&NimbraSettings::shelfEnabled, &NimbraSettings::setShelfEnabled)));
    column.addWidget(divider());
    QWidget* persists = view.switchRow(QStringLiteral("Keep the shelf between restarts"),
        QStringLiteral("Only the file paths are remembered, never the files themselves. Anything moved or deleted in "
                       "the meantime is dropped from the list."),
        view.bind<bool>(&NimbraSettings::shelfPersists, &NimbraSettings::setShelfPersists));
    view.enableWhile(persists, [&settings] { return settings.shelfEnabled(); });
    column.addWidget(persists);
    column.addWidget(divider());
    column.addWidget(new NoteBox(QStringLiteral("arrow.up.doc"), NoteBox::Tint::secondary,
        label(QStringLiteral("Files are held by reference, not copied. Dragging one out hands over the original, and "
                             "taking it off the shelf never deletes anything."),
            TextStyle::callout, Tone::secondary, QFont::Normal, true)));
}

QWidget* minuteRow(SettingsView& view, const QString& title, Binding<int> minutes, ClosedRange<int> range)
{
    auto* control = new QWidget;
    auto* line = new QHBoxLayout(control);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel* value = valueLabel(58);
    auto* stepper = new StepperControl(range.lower, range.upper);
    stepper->setAccessibleName(title);
    line->addWidget(value, 0, Qt::AlignVCenter);
    line->addWidget(stepper, 0, Qt::AlignVCenter);
    QObject::connect(stepper, &StepperControl::stepped, stepper, [minutes](int m) { minutes.set(m); });
    view.followSettings(stepper, [value, stepper, minutes] {
        const int m = minutes.get();
        value->setText(QStringLiteral("%1 min").arg(m));
        stepper->setValue(m);
    });
    return view.row(title, {}, control);
}

void timersPage(SettingsView& view, QVBoxLayout& column)
{
    column.addWidget(introBlock(QStringLiteral("Stopwatch, timer and focus"),
        QStringLiteral("All three live on one notch surface. While any of them runs, the notch keeps a small readout "
                       "so you can see it without opening anything.")));
    column.addWidget(view.switchRow(QStringLiteral("Chime when a timer finishes"),
        QStringLiteral("A short sound when a countdown or a focus block ends."),
        view.bind<bool>(&NimbraSettings::timerChimeEnabled, &NimbraSettings::setTimerChimeEnabled)));
    column.addWidget(divider());
    column.addWidget(label(QStringLiteral("Focus sessions"), TextStyle::body, Tone::primary, QFont::Medium));
    column.addWidget(minuteRow(view, QStringLiteral("Focus block"),
        view.bind<int>(&NimbraSettings::pomodoroWorkMinutes, &NimbraSettings::setPomodoroWorkMinutes),
        settings_ranges::pomodoroWork));
    column.addWidget(minuteRow(view, QStringLiteral("Short break"),
        view.bind<int>(&NimbraSettings::pomodoroBreakMinutes, &NimbraSettings::setPomodoroBreakMinutes),
        settings_ranges::pomodoroBreak));
    column.addWidget(minuteRow(view, QStringLiteral("Long break"),
        view.bind<int>(&NimbraSettings::pomodoroLongBreakMinutes, &NimbraSettings::setPomodoroLongBreakMinutes),
        settings_ranges::pomodoroLongBreak));

    NimbraSettings& settings = view.settings();
    auto* cycles = new QWidget;
    auto* line = new QHBoxLayout(cycles);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    QLabel* count = label({}, TextStyle::body);
    count->setFixedWidth(20);
    count->setAlignment(Qt::AlignCenter);
    auto* stepper = new StepperControl(settings_ranges::pomodoroCycles.lower, settings_ranges::pomodoroCycles.upper);
    stepper->setAccessibleName(QStringLiteral("Blocks before a long break"));
    line->addWidget(count, 0, Qt::AlignVCenter);
    line->addWidget(stepper, 0, Qt::AlignVCenter);
    QObject::connect(
        stepper, &StepperControl::stepped, stepper, [&settings](int blocks) { settings.setPomodoroCycles(blocks); });
    view.followSettings(stepper, [count, stepper, &settings] {
        count->setText(QString::number(settings.pomodoroCycles()));
        stepper->setValue(settings.pomodoroCycles());
    });
    column.addWidget(view.row(QStringLiteral("Blocks before a long break"), {}, cycles));
}

} // namespace nimbra
