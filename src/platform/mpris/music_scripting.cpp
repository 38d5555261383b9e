#include "platform/mpris/music_scripting.h"

#include "core/diagnostics.h"
#include "platform/mpris/artwork_loader.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <QUrl>
#include <cmath>
#include <utility>

namespace nimbra {

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// What a player without a current track names as its track.
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

QVariant plain(const QVariant& value);

QVariantList plainList(const QDBusArgument& argument)
{
    QVariantList list;
    argument.beginArray();
    while (!argument.atEnd())
        list.append(plain(argument.asVariant()));
    argument.endArray();
    return list;
}

// Unwraps variants and turns object paths and marshalled containers into ordinary values. Each
// element is read by its own type, since a player's values are not all variants.
QVariant plain(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.userType() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            *it = plain(*it);
        return map;
    }
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return value;
    const auto argument = value.value<QDBusArgument>();
    switch (argument.currentType()) {
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = plain(argument.asVariant());
            const QVariant entry = plain(argument.asVariant());
            argument.endMapEntry();
            map.insert(key.toString(), entry);
        }
        argument.endMap();
        return map;
    }
    case QDBusArgument::ArrayType:
        return plainList(argument);
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plain(argument.asVariant());
    default:
        return {};
    }
}

// A player's text, or its list of texts joined by commas. Joining stops once the text is longer
// than any readout shows, so a list of a million names costs no more than a few.
QString text(const QVariant& value)
{
    QStringList parts;
    if (value.userType() == QMetaType::QStringList)
        parts = value.toStringList();
    else if (value.userType() == QMetaType::QVariantList) {
        for (const QVariant& part : value.toList())
            parts.append(part.toString());
    } else {
        return value.canConvert<QString>() ? value.toString() : QString();
    }
    QString joined;
    for (const QString& part : parts) {
        if (joined.size() > MusicScripting::maximumTextLength)
            break;
        if (!joined.isEmpty())
            joined += QStringLiteral(", ");
        joined += part.left(MusicScripting::maximumTextLength + 1);
    }
    return joined;
}

// A key that tells long texts apart without carrying them whole.
QString boundedKey(const QString& text)
{
    constexpr qsizetype kept = 200;
    if (text.size() <= kept)
        return text;
    // The run's own hash is enough: identities are compared within one run only. A text of
    // megabytes is hashed by its two ends (and its length), so that reading it stays cheap.
    constexpr qsizetype hashedEnd = 32 * 1024;
    const QStringView view(text);
    const std::size_t hash = view.size() <= 2 * hashedEnd
        ? qHash(view, 0)
        : qHashMulti(0, view.left(hashedEnd), view.right(hashedEnd));
    return text.left(kept) + QLatin1Char('#') + QString::number(text.size()) + QLatin1Char('#')
        + QString::number(hash, 16);
}

// The track's title, else the file name its address ends in.
QString trackTitle(const QVariantMap& metadata)
{
    const QString title = MusicScripting::cleaned(text(metadata.value(QStringLiteral("xesam:title"))));
    if (!title.trimmed().isEmpty())
        return title;
    return MusicScripting::fileTitle(text(metadata.value(QStringLiteral("xesam:url"))));
}

// A number a player sent as any integer or real type; none when it is no finite number.
std::optional<double> number(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const double n = value.toDouble(&ok);
    if (!ok || !std::isfinite(n))
        return std::nullopt;
    return n;
}

// Whether `text` is a D-Bus object path ("/", or "/" and elements of [A-Za-z0-9_] joined by "/"):
// SetPosition carries a track id as one, so an id that is none cannot move its track.
bool isObjectPath(QStringView text)
{
    if (text == u"/")
        return true;
    if (!text.startsWith(u'/') || text.endsWith(u'/'))
        return false;
    QChar previous;
    for (const QChar c : text) {
        const bool element = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
        if (!element && (c != u'/' || previous == u'/'))
            return false;
        previous = c;
    }
    return true;
}

// A track length as the status reply's reader takes it: a day or more is no length.
constexpr double kLongestTrack = 24 * 60 * 60;

// One of MPRIS's three words in its own spelling, whatever the case the player wrote it in; any
// other word stays the player's own (it neither plays nor stops).
QString playbackState(const QVariant& value)
{
    const QString word = MusicScripting::cleaned(value.toString()).trimmed();
    for (const QString& known : { QStringLiteral("Playing"), QStringLiteral("Paused"), QStringLiteral("Stopped") }) {
        if (word.compare(known, Qt::CaseInsensitive) == 0)
            return known;
    }
    return word;
}

QString decimalText(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

QString rawValue(MusicScripting::Authorization authorization)
{
    switch (authorization) {
    case MusicScripting::Authorization::authorized:
        return QStringLiteral("authorized");
    case MusicScripting::Authorization::denied:
        return QStringLiteral("denied");
    case MusicScripting::Authorization::playerNotRunning:
        return QStringLiteral("playerNotRunning");
    case MusicScripting::Authorization::undetermined:
        return QStringLiteral("undetermined");
    }
    return {};
}

MusicScripting::MusicScripting(QObject* parent)
    : MusicScripting(QDBusConnection::sessionBus(), parent)
{
}

MusicScripting::MusicScripting(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_artwork(std::make_unique<ArtworkLoader>())
{
}

MusicScripting::~MusicScripting()
{
    stop();
}

void MusicScripting::setConnection(const QDBusConnection& bus)
{
    const bool watching = m_watching;
    stop();
    m_bus = bus;
    if (watching)
        start();
}

// MARK: Watching the bus

void MusicScripting::start()
{
    if (m_watching || !m_bus.isConnected())
        return;
    m_watching = true;
    ++m_watch;
    m_bus.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
        SLOT(nameOwnerChanged(QString, QString, QString)));
    m_bus.connect(QString(), objectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QDBusMessage)));
    m_bus.connect(QString(), objectPath, playerInterface, QStringLiteral("Seeked"), this, SLOT(seeked(QDBusMessage)));

    // The players already there; each one's owner follows, so that its signals can be told apart.
    const std::uint64_t watch = m_watch;
    QPointer<MusicScripting> self(this);
    const QDBusMessage list = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, "ListNames");
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(list, callTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [self, watch](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!self || self->m_watch != watch)
            return;
        const QDBusMessage reply = call->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        for (const QString& name : reply.arguments().constFirst().toStringList()) {
            if (!source(name) || self->m_players.count(name))
                continue;
            QDBusMessage ask = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, "GetNameOwner");
            ask << name;
            auto* owner = new QDBusPendingCallWatcher(self->m_bus.asyncCall(ask, callTimeoutMs), self);
            connect(owner, &QDBusPendingCallWatcher::finished, self, [self, watch, name](QDBusPendingCallWatcher* c) {
                c->deleteLater();
                const QDBusMessage answer = c->reply();
                if (!self || self->m_watch != watch || answer.type() != QDBusMessage::ReplyMessage
                    || answer.arguments().isEmpty())
                    return;
                self->addPlayer(name, answer.arguments().constFirst().toString());
            });
        }
    });
}

void MusicScripting::stop()
{
    if (!m_watching)
        return;
    m_watching = false;
    ++m_watch;
    m_bus.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
        SLOT(nameOwnerChanged(QString, QString, QString)));
    m_bus.disconnect(QString(), objectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QDBusMessage)));
    m_bus.disconnect(
        QString(), objectPath, playerInterface, QStringLiteral("Seeked"), this, SLOT(seeked(QDBusMessage)));
    m_players.clear();
    m_questions.clear();
    dropArtwork();
}

void MusicScripting::nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner)
{
    if (!m_watching || !source(name))
        return;
    if (!oldOwner.isEmpty())
        removePlayer(name);
    if (!newOwner.isEmpty())
        addPlayer(name, newOwner);
}

void MusicScripting::addPlayer(const QString& busName, const QString& owner)
{
    const bool isNew = !m_players.count(busName);
    Player& player = m_players[busName];
    player.owner = owner;
    player.changedAt = ++m_changes;
    if (!isNew)
        return;
    Diagnostics::log(Diagnostics::Category::media, [&] { return "player + " + busName; });
    // Its state first, so that a player that came up playing is known to play; then the news.
    QDBusMessage ask = QDBusMessage::createMethodCall(busName, objectPath, kPropertiesInterface, "GetAll");
    ask << playerInterface;
    const std::uint64_t watch = m_watch;
    QPointer<MusicScripting> self(this);
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, callTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [self, watch, busName](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!self || self->m_watch != watch || !self->m_players.count(busName))
            return;
        const QDBusMessage reply = call->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            self->remember(busName, plainMap(reply.arguments().constFirst()));
        if (self->onPlayersChanged)
            self->onPlayersChanged();
    });
}

void MusicScripting::removePlayer(const QString& busName)
{
    if (!m_players.erase(busName))
        return;
    Diagnostics::log(Diagnostics::Category::media, [&] { return "player - " + busName; });
    if (onPlayersChanged)
        onPlayersChanged();
}

std::optional<QString> MusicScripting::busNameOf(const QString& sender) const
{
    for (const auto& [name, player] : m_players) {
        if (player.owner == sender)
            return name;
    }
    return std::nullopt;
}

void MusicScripting::remember(const QString& busName, const QVariantMap& properties)
{
    const auto found = m_players.find(busName);
    if (found == m_players.end())
        return;
    Player& player = found->second;
    if (properties.contains(QStringLiteral("PlaybackStatus")))
        player.state = playbackState(properties.value(QStringLiteral("PlaybackStatus")));
    if (properties.contains(QStringLiteral("CanSeek")))
        player.canSeek = properties.value(QStringLiteral("CanSeek")).toBool();
    if (properties.contains(QStringLiteral("Metadata"))) {
        const QVariantMap metadata = plainMap(properties.value(QStringLiteral("Metadata")));
        const QString id = metadata.value(QStringLiteral("mpris:trackid")).toString();
        player.trackId = id == kNoTrack || !isObjectPath(id) ? QString() : id;
        player.artUrl = text(metadata.value(QStringLiteral("mpris:artUrl")));
    }
}

void MusicScripting::propertiesChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).toString() != playerInterface)
        return;
    const std::optional<QString> busName = busNameOf(message.service());
    if (!busName)
        return;
    const QVariantMap changed = plainMap(arguments.at(1));
    const auto found = m_players.find(*busName);
    const QString lastState = found->second.state;
    remember(*busName, changed);
    const std::optional<Payload> said = payload(*busName, changed, lastState);
    if (!said)
        return; // volume, rate, capabilities: nothing a readout shows
    found->second.changedAt = ++m_changes;
    const Source from = *source(*busName);
    if (!onNotification)
        return;
    // A player that is not the one its source stands for (another Music player plays) cannot
    // tell what the source shows: the source is asked afresh.
    if (resolve(from) == busName)
        onNotification(from, said);
    else
        onNotification(from, std::nullopt);
}

void MusicScripting::seeked(const QDBusMessage& message)
{
    const std::optional<QString> busName = busNameOf(message.service());
    if (!busName || !onNotification)
        return;
    onNotification(*source(*busName), std::nullopt);
}

// MARK: Players

std::optional<MusicScripting::Source> MusicScripting::source(const QString& busName)
{
    if (!busName.startsWith(busPrefix) || busName.size() == busPrefix.size())
        return std::nullopt;
    return busName == spotifyBusName ? Source::spotify : Source::appleMusic;
}

std::optional<QString> MusicScripting::resolve(Source wanted) const
{
    const Player* best = nullptr;
    QString bestName;
    // Playing beats a track that is only paused, which beats a stopped player; the latest
    // change decides among equals.
    auto rank = [](const Player& p) {
        if (p.state == QLatin1String("Playing"))
            return 2;
        return p.state == QLatin1String("Paused") ? 1 : 0;
    };
    for (const auto& [name, player] : m_players) {
        if (source(name) != wanted)
            continue;
        if (!best || rank(player) > rank(*best)
            || (rank(player) == rank(*best) && player.changedAt > best->changedAt)) {
            best = &player;
            bestName = name;
        }
    }
    if (!best)
        return std::nullopt;
    return bestName;
}

std::optional<QString> MusicScripting::player(Source source) const
{
    return resolve(source);
}

QStringList MusicScripting::players() const
{
    QStringList names;
    for (const auto& entry : m_players)
        names.append(entry.first);
    return names;
}

bool MusicScripting::isRunning(Source source) const
{
    return resolve(source).has_value();
}

MusicScripting::Authorization MusicScripting::authorization(Source source) const
{
    return isRunning(source) ? Authorization::authorized : Authorization::playerNotRunning;
}

bool MusicScripting::canSeek(Source source) const
{
    const std::optional<QString> name = resolve(source);
    if (!name)
        return false;
    const Player& player = m_players.at(*name);
    return player.canSeek && !player.trackId.isEmpty();
}

MusicScripting::ScriptError MusicScripting::error(const QDBusMessage& reply) const
{
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
        || name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return { ScriptError::Kind::notRunning, name };
    Diagnostics::log(Diagnostics::Category::media, [&] { return "D-Bus " + name + ": " + reply.errorMessage(); });
    return { ScriptError::Kind::failed, name };
}

void MusicScripting::later(std::function<void()> then)
{
    QMetaObject::invokeMethod(this, std::move(then), Qt::QueuedConnection);
}

// MARK: Asking

void MusicScripting::query(Source source, std::function<void(const Reply&)> then)
{
    const std::optional<QString> target = resolve(source);
    if (!target) {
        later([then = std::move(then)] { then(ScriptError { ScriptError::Kind::notRunning, {} }); });
        return;
    }
    const auto [questions, idle] = m_questions.try_emplace(*target);
    if (!idle) {
        questions->second.waiting.push_back(std::move(then));
        return;
    }
    questions->second.asked.push_back(std::move(then));
    askStatus(*target);
}

void MusicScripting::askStatus(const QString& target)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(target, objectPath, kPropertiesInterface, "GetAll");
    ask << playerInterface;
    const std::uint64_t watch = m_watch;
    QPointer<MusicScripting> self(this);
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, callTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [self, watch, target](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!self || self->m_watch != watch)
            return;
        // The questions asked meanwhile go out before any answer is handed over, so that
        // whatever the answers ask joins them or comes after.
        const auto questions = self->m_questions.find(target);
        if (questions == self->m_questions.end())
            return;
        const std::vector<Answer> answered = std::move(questions->second.asked);
        if (questions->second.waiting.empty()) {
            self->m_questions.erase(questions);
        } else {
            questions->second.asked = std::exchange(questions->second.waiting, {});
            self->askStatus(target);
        }
        const QDBusMessage reply = call->reply();
        Reply said;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            said = self->error(reply);
        } else {
            const QVariantMap properties = plainMap(reply.arguments().constFirst());
            self->remember(target, properties);
            said = statusReply(*source(target), target, properties);
        }
        for (const Answer& then : answered) {
            if (!self || self->m_watch != watch)
                return;
            then(said);
        }
    });
}

void MusicScripting::send(
    Source source, Command command, double seconds, std::function<void(std::optional<ScriptError>)> then)
{
    const std::optional<QString> target = resolve(source);
    if (!target) {
        later([then = std::move(then)] { then(ScriptError { ScriptError::Kind::notRunning, {} }); });
        return;
    }
    QDBusMessage message;
    switch (command) {
    case Command::playPause:
        message = QDBusMessage::createMethodCall(*target, objectPath, playerInterface, "PlayPause");
        break;
    case Command::next:
        message = QDBusMessage::createMethodCall(*target, objectPath, playerInterface, "Next");
        break;
    case Command::previous:
        message = QDBusMessage::createMethodCall(*target, objectPath, playerInterface, "Previous");
        break;
    case Command::seek: {
        if (!canSeek(source)) {
            later([then = std::move(then)] { then(ScriptError { ScriptError::Kind::noTrack, {} }); });
            return;
        }
        message = QDBusMessage::createMethodCall(*target, objectPath, playerInterface, "SetPosition");
        const qlonglong micros = std::llround(std::max(0.0, seconds) * 1e6);
        message << QVariant::fromValue(QDBusObjectPath(m_players.at(*target).trackId)) << micros;
        break;
    }
    }
    Diagnostics::log(
        Diagnostics::Category::media, [&] { return "command " + commandText(command, seconds) + " -> " + *target; });
    const std::uint64_t watch = m_watch;
    QPointer<MusicScripting> self(this);
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
        [self, watch, then = std::move(then)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            if (!self || self->m_watch != watch)
                return;
            const QDBusMessage reply = call->reply();
            if (reply.type() == QDBusMessage::ErrorMessage)
                then(self->error(reply));
            else
                then(std::nullopt);
        });
}

void MusicScripting::dropArtwork()
{
    ++m_artworkRequest;
    m_nextArtwork.reset();
    m_artwork->dropAll();
}

QString MusicScripting::artworkAddress(Source source) const
{
    const std::optional<QString> name = resolve(source);
    return name ? m_players.at(*name).artUrl : QString();
}

void MusicScripting::artwork(Source source, std::function<void(const QImage&)> then)
{
    dropArtwork();
    if (m_askingArtwork)
        m_nextArtwork = CoverRequest { source, std::move(then) };
    else
        askArtwork(source, std::move(then));
}

void MusicScripting::askArtwork(Source source, std::function<void(const QImage&)> then)
{
    const std::optional<QString> target = resolve(source);
    if (!target) {
        later([then = std::move(then)] { then(QImage()); });
        return;
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(*target, objectPath, kPropertiesInterface, "Get");
    ask << playerInterface << QStringLiteral("Metadata");
    const std::uint64_t request = m_artworkRequest;
    const std::uint64_t watch = m_watch;
    QPointer<MusicScripting> self(this);
    m_askingArtwork = true;
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, callTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
        [self, request, watch, then = std::move(then)](QDBusPendingCallWatcher* c) {
        c->deleteLater();
        if (!self)
            return;
        self->m_askingArtwork = false;
        if (self->m_artworkRequest != request || self->m_watch != watch) {
            if (auto next = std::exchange(self->m_nextArtwork, std::nullopt))
                self->askArtwork(next->source, std::move(next->then));
            return;
        }
        const QDBusMessage reply = c->reply();
        QUrl url;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            url = QUrl(plainMap(reply.arguments().constFirst()).value(QStringLiteral("mpris:artUrl")).toString());
        self->m_artwork->load(url, then);
    });
}

// MARK: Pure helpers

QVariantMap MusicScripting::plainMap(const QVariant& value)
{
    return plain(value).toMap();
}

QString MusicScripting::cleaned(const QString& text)
{
    qsizetype length = std::min(text.size(), maximumTextLength);
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return withoutBreaks(QStringView(text).left(length));
}

QString MusicScripting::withoutBreaks(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QChar(0x1F))
            continue;
        const bool lineBreak = c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85)
            || c == QChar(0x2028) || c == QChar(0x2029);
        out.append(lineBreak ? QChar(u' ') : c);
    }
    return out;
}

QString MusicScripting::fileTitle(const QString& address)
{
    const QString path = QUrl(address).path(QUrl::FullyDecoded);
    QString name = path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return cleaned(name.trimmed());
}

QString MusicScripting::identity(const QString& busName, const QVariantMap& given)
{
    const QVariantMap metadata = plainMap(given);
    const QString trackId = text(metadata.value(QStringLiteral("mpris:trackid")));
    if (trackId.isEmpty() || trackId == kNoTrack)
        return {};
    // The file or address tells tracks in the same place of the list apart; without one, the title.
    QString what = text(metadata.value(QStringLiteral("xesam:url")));
    if (what.isEmpty())
        what = text(metadata.value(QStringLiteral("xesam:title")));
    return withoutBreaks(busName.left(maximumTextLength) + QLatin1Char(' ') + boundedKey(trackId) + QLatin1Char(' ')
        + boundedKey(what));
}

QString MusicScripting::statusReply(Source source, const QString& busName, const QVariantMap& properties)
{
    const QString state = playbackState(properties.value(QStringLiteral("PlaybackStatus")));
    const QVariantMap metadata = plainMap(properties.value(QStringLiteral("Metadata")));
    const QString title = trackTitle(metadata);
    if (state == QLatin1String("Stopped") || title.isEmpty())
        return QStringLiteral("none");
    const double position = number(properties.value(QStringLiteral("Position"))).value_or(0) / 1e6;
    const double lengthMicros = number(metadata.value(QStringLiteral("mpris:length"))).value_or(0);
    // Each source's reply carries the length in the unit its dialect reads: seconds for
    // Music, milliseconds for Spotify.
    const double scale = NowPlayingReading::dialect(source).durationScale;
    const double duration = lengthMicros / 1e6 / scale;
    const QStringList fields { state.isEmpty() ? QStringLiteral("paused") : state.toLower(), title,
        cleaned(text(metadata.value(QStringLiteral("xesam:artist")))),
        cleaned(text(metadata.value(QStringLiteral("xesam:album")))), decimalText(position), decimalText(duration),
        identity(busName, metadata) };
    return fields.join(NowPlayingReading::separator());
}

std::optional<MusicScripting::Payload> MusicScripting::payload(
    const QString& busName, const QVariantMap& changed, const QString& lastState)
{
    const bool hasState = changed.contains(QStringLiteral("PlaybackStatus"));
    const bool hasTrack = changed.contains(QStringLiteral("Metadata"));
    if (!hasState && !hasTrack)
        return std::nullopt;
    Payload said;
    said.state = hasState ? playbackState(changed.value(QStringLiteral("PlaybackStatus"))) : lastState;
    if (hasTrack) {
        const QVariantMap metadata = plainMap(changed.value(QStringLiteral("Metadata")));
        said.title = trackTitle(metadata);
        said.artist = cleaned(text(metadata.value(QStringLiteral("xesam:artist"))));
        said.album = cleaned(text(metadata.value(QStringLiteral("xesam:album"))));
        const double length = number(metadata.value(QStringLiteral("mpris:length"))).value_or(0) / 1e6;
        said.duration = length > 0 && length < kLongestTrack ? length : 0;
        if (const QString id = identity(busName, metadata); !id.isEmpty())
            said.identity = id;
    }
    if (const auto micros = number(changed.value(QStringLiteral("Position"))))
        said.position = std::max(0.0, *micros / 1e6);
    return said;
}

QString MusicScripting::commandText(Command command, double seconds)
{
    switch (command) {
    case Command::playPause:
        return QStringLiteral("playpause");
    case Command::next:
        return QStringLiteral("next track");
    case Command::previous:
        return QStringLiteral("previous track");
    case Command::seek:
        return QStringLiteral("set player position to ") + decimalText(seconds);
    }
    return {};
}

QString MusicScripting::errorName(const ScriptError& error)
{
    switch (error.kind) {
    case ScriptError::Kind::failed:
        return QStringLiteral("failed");
    case ScriptError::Kind::notAuthorized:
        return QStringLiteral("notAuthorized");
    case ScriptError::Kind::notRunning:
        return QStringLiteral("notRunning");
    case ScriptError::Kind::noTrack:
        return QStringLiteral("noTrack");
    }
    return {};
}

} // namespace nimbra
