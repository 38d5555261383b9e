#pragma once

class QVBoxLayout;

namespace nimbra {

class SettingsView;

// The notch page: a live model of the notch above the sliders of the state it shows (at rest,
// showing a readout, open), and a reset.
void notchPage(SettingsView& view, QVBoxLayout& column);

} // namespace nimbra
