#pragma once

#include "core/notch_geometry.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class QScreen;

// Screen lookup: a QScreen turned into the platform-free values of the model. The display id is
// the RandR output behind the screen; every call reads the X server afresh, so callers see a new
// screen configuration at once. On a platform without RandR (Qt's offscreen platform, or an X
// server without the extension) a screen's id is its 1-based place in QGuiApplication::screens().
// An X server without RandR is said once on standard error, and its one screen counts as the
// machine's own panel, so that it shows a notch.
namespace nimbra {

DisplayMetrics nimbraMetrics(const QScreen* screen);
NotchGeometry nimbraGeometry(const QScreen* screen);
std::optional<std::uint32_t> nimbraDisplayID(const QScreen* screen);
// The EDID identity of the monitor when it reports one, else DisplayKey::make of the id.
std::optional<DisplayKey> nimbraKey(const QScreen* screen);
// The first screen, in Qt's order, that is the machine's own panel; nullptr when there is none.
QScreen* nimbraBuiltIn();
// The screen that stands for the machine's own display: the laptop panel, else (a desktop of
// monitors only) the primary output, which RandR names or else lists first. nullptr without an
// X server.
QScreen* nimbraMainDisplay();

namespace screen_lookup {

// A built-in panel: RandR connector type "Panel", or an output named after a laptop connector.
bool isBuiltInOutput(QStringView connectorType, QStringView outputName);

// What the choice of the main display knows of each screen, in Qt's order. `outputRank` is the
// place of the screen's output in RandR's list (a monitor without outputs has none).
struct ScreenFacts {
    bool isPanel = false;
    bool isPrimary = false;
    std::optional<int> outputRank;
};
// The index of the main display: the first panel, else the primary, else the screen whose output
// RandR lists first, else the first screen; none for an empty list.
std::optional<int> mainDisplayIndex(const std::vector<ScreenFacts>& screens);

// A stable identity from an EDID block (manufacturer, product code, serial number), or an empty
// string when the block is too short or has no valid header. Identical monitors without a
// serial number share an identity; `outputName` then tells them apart.
QString edidIdentity(QByteArrayView edid, QStringView outputName = {});

} // namespace screen_lookup
} // namespace nimbra
