#pragma once

class QWidget;
class QSize;

// How Nimbra's own windows (settings, onboarding) come on screen.
namespace nimbra::window_presenter {

// Moves a window of `size` to the centre of the primary screen's free area.
void centre(QWidget* window, const QSize& size);

// Shows the window (a minimised one comes back) and raises and activates it a turn later,
// once the window manager has mapped it.
void present(QWidget* window);

} // namespace nimbra::window_presenter
