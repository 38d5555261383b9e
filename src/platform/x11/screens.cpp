#include "platform/x11/screens.h"

#include "core/diagnostics.h"
#include "platform/screen_space.h"
#include "platform/x11/qt_connection.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace nimbra {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> reply(T* raw)
{
    return Reply<T>(raw, &std::free);
}

xcb_connection_t* connection()
{
    return x11::qtConnection();
}

bool hasRandr(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    return ext && ext->present;
}

// Without RandR the server says nothing about its monitors: the one X screen is taken as one
// display, the machine's own, so that it gets a notch as a laptop's panel would. Said once.
bool lacksRandr(xcb_connection_t* c)
{
    if (hasRandr(c))
        return false;
    static const bool said = [] {
        Diagnostics::writeLine(
            STDERR_FILENO, "nimbra: the X server has no RandR extension; one notch serves the whole screen\n");
        return true;
    }();
    return said;
}

// A screen's place in Qt's list, from 1: the id of a screen no RandR output stands behind.
std::optional<std::uint32_t> placeInList(const QScreen* screen)
{
    const int index = QGuiApplication::screens().indexOf(const_cast<QScreen*>(screen));
    return index < 0 ? std::nullopt : std::optional<std::uint32_t>(std::uint32_t(index + 1));
}

xcb_window_t rootWindow(xcb_connection_t* c)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data->root : XCB_NONE;
}

QString atomName(xcb_connection_t* c, xcb_atom_t atom)
{
    auto r = reply(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!r)
        return {};
    return QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto r = reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(strlen(name)), name), nullptr));
    return r ? r->atom : XCB_NONE;
}

QByteArray outputProperty(xcb_connection_t* c, xcb_randr_output_t output, const char* name)
{
    const xcb_atom_t property = atom(c, name);
    if (property == XCB_NONE)
        return {};
    auto r = reply(xcb_randr_get_output_property_reply(
        c, xcb_randr_get_output_property(c, output, property, XCB_ATOM_ANY, 0, 256, 0, 0), nullptr));
    if (!r || r->num_items == 0)
        return {};
    const int bytes = int(r->num_items) * (r->format / 8);
    return QByteArray(reinterpret_cast<const char*>(xcb_randr_get_output_property_data(r.get())), bytes);
}

// The RandR output behind a screen: an output of that name, else the first output of a RandR
// monitor of that name. A monitor without outputs is known by its name atom.
struct Output {
    std::uint32_t id = 0;
    bool isOutput = false;
    QString name;
};

Reply<xcb_randr_get_screen_resources_current_reply_t> screenResources(xcb_connection_t* c, xcb_window_t root)
{
    return reply(
        xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root), nullptr));
}

std::optional<Output> findOutput(xcb_connection_t* c, const QString& screenName)
{
    const xcb_window_t root = rootWindow(c);
    if (root == XCB_NONE || !hasRandr(c))
        return std::nullopt;
    auto resources = screenResources(c, root);
    if (resources) {
        const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
        const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
        for (int i = 0; i < count; ++i) {
            auto info = reply(xcb_randr_get_output_info_reply(
                c, xcb_randr_get_output_info(c, outputs[i], resources->config_timestamp), nullptr));
            if (!info)
                continue;
            const QString name
                = QString::fromUtf8(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                    xcb_randr_get_output_info_name_length(info.get()));
            if (name == screenName)
                return Output { outputs[i], true, name };
        }
    }
    auto monitors = reply(xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (!monitors)
        return std::nullopt;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
        if (atomName(c, it.data->name) != screenName)
            continue;
        if (xcb_randr_monitor_info_outputs_length(it.data) > 0)
            return Output { xcb_randr_monitor_info_outputs(it.data)[0], true, screenName };
        return Output { it.data->name, false, screenName };
    }
    return std::nullopt;
}

bool isPanel(xcb_connection_t* c, const Output& output)
{
    QString connector;
    if (output.isOutput) {
        const QByteArray value = outputProperty(c, output.id, "ConnectorType");
        if (value.size() == 4)
            connector = atomName(c, *reinterpret_cast<const xcb_atom_t*>(value.constData()));
    }
    return screen_lookup::isBuiltInOutput(connector, output.name);
}

} // namespace

namespace screen_lookup {

bool isBuiltInOutput(QStringView connectorType, QStringView outputName)
{
    if (connectorType.compare(u"Panel", Qt::CaseInsensitive) == 0)
        return true;
    for (QStringView prefix : { u"eDP", u"LVDS", u"DSI" }) {
        if (outputName.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::optional<int> mainDisplayIndex(const std::vector<ScreenFacts>& screens)
{
    for (std::size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].isPanel)
            return int(i);
    }
    for (std::size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].isPrimary)
            return int(i);
    }
    std::optional<int> first;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const auto rank = screens[i].outputRank;
        if (rank && (!first || *rank < *screens[std::size_t(*first)].outputRank))
            first = int(i);
    }
    if (!first && !screens.empty())
        first = 0;
    return first;
}

QString edidIdentity(QByteArrayView edid, QStringView outputName)
{
    static const unsigned char header[] = { 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00 };
    if (edid.size() < 128 || std::memcmp(edid.data(), header, sizeof header) != 0)
        return {};
    const auto byte = [&](int i) { return std::uint32_t(static_cast<unsigned char>(edid[i])); };
    const std::uint32_t maker = (byte(8) << 8) | byte(9);
    QString vendor;
    for (int shift : { 10, 5, 0 }) {
        const std::uint32_t letter = (maker >> shift) & 0x1f;
        if (letter < 1 || letter > 26)
            return {};
        vendor += QChar(char16_t(u'A' + letter - 1));
    }
    const std::uint32_t product = byte(10) | (byte(11) << 8);
    std::uint32_t serial = byte(12) | (byte(13) << 8) | (byte(14) << 16) | (byte(15) << 24);
    QString serialText = serial ? QString::number(serial, 16) : QString();
    // The serial-number descriptor, when the numeric serial is left empty.
    for (int d = 54; serialText.isEmpty() && d + 18 <= 126; d += 18) {
        if (byte(d) == 0 && byte(d + 1) == 0 && byte(d + 3) == 0xff) {
            QByteArray text(edid.data() + d + 5, 13);
            serialText = QString::fromLatin1(text.left(text.indexOf('\n') < 0 ? 13 : text.indexOf('\n'))).trimmed();
        }
    }
    QString identity = QStringLiteral("%1-%2").arg(vendor).arg(product, 4, 16, QLatin1Char('0'));
    if (!serialText.isEmpty())
        identity += u'-' + serialText;
    else if (!outputName.isEmpty())
        identity += u'@' + outputName.toString();
    return identity;
}

} // namespace screen_lookup

DisplayMetrics nimbraMetrics(const QScreen* screen)
{
    if (!screen)
        return DisplayMetrics {};
    // X reports no camera housing: no safe area and no menu-bar areas beside one.
    return DisplayMetrics { screen_space::toModel(QRectF(screen->geometry())),
        screen_space::toModel(QRectF(screen->availableGeometry())), 0, std::nullopt, std::nullopt };
}

NotchGeometry nimbraGeometry(const QScreen* screen)
{
    return NotchGeometry(nimbraMetrics(screen));
}

std::optional<std::uint32_t> nimbraDisplayID(const QScreen* screen)
{
    if (!screen)
        return std::nullopt;
    if (xcb_connection_t* c = connection(); c && !lacksRandr(c)) {
        if (auto output = findOutput(c, screen->name()))
            return output->id;
        return std::nullopt;
    }
    return placeInList(screen);
}

std::optional<DisplayKey> nimbraKey(const QScreen* screen)
{
    const auto id = nimbraDisplayID(screen);
    if (!id)
        return std::nullopt;
    std::optional<QString> identity;
    if (xcb_connection_t* c = connection()) {
        if (auto output = findOutput(c, screen->name()); output && output->isOutput) {
            const QString edid = screen_lookup::edidIdentity(outputProperty(c, output->id, "EDID"), output->name);
            if (!edid.isEmpty())
                identity = edid;
        }
    }
    return DisplayKey::make(*id, identity);
}

QScreen* nimbraBuiltIn()
{
    xcb_connection_t* c = connection();
    if (!c)
        return nullptr;
    if (lacksRandr(c))
        return QGuiApplication::primaryScreen();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (const auto output = findOutput(c, screen->name()); output && isPanel(c, *output))
            return screen;
    }
    return nullptr;
}

QScreen* nimbraMainDisplay()
{
    xcb_connection_t* c = connection();
    if (!c)
        return nullptr;
    if (lacksRandr(c))
        return QGuiApplication::primaryScreen();
    const xcb_window_t root = rootWindow(c);
    auto primary = reply(xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    std::vector<xcb_randr_output_t> order;
    if (auto resources = screenResources(c, root)) {
        const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
        order.assign(outputs, outputs + xcb_randr_get_screen_resources_current_outputs_length(resources.get()));
    }
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<screen_lookup::ScreenFacts> facts;
    for (QScreen* screen : screens) {
        screen_lookup::ScreenFacts fact;
        if (const auto output = findOutput(c, screen->name()); output) {
            fact.isPanel = isPanel(c, *output);
            if (output->isOutput) {
                fact.isPrimary = primary && primary->output != XCB_NONE && primary->output == output->id;
                const auto at = std::find(order.begin(), order.end(), output->id);
                if (at != order.end())
                    fact.outputRank = int(at - order.begin());
            }
        }
        facts.push_back(fact);
    }
    const auto index = screen_lookup::mainDisplayIndex(facts);
    return index ? screens.at(*index) : nullptr;
}

} // namespace nimbra
