#include "support/file_drag.h"

#include "support/test_support.h"
#include "support/x_pointer.h"

#include <QStringList>

namespace nimbra::test {

std::unique_ptr<Peer> dragFrom(const QString& file)
{
    auto source = std::make_unique<Peer>(
        QStringLiteral(NIMBRA_BINARY_DIR "/tests/ui/drag_source"), QStringList { file, "40", "500" });
    if (!source->said("ready"))
        return nullptr;
    movePointer(QPoint(100, 540));
    pressButton(true);
    movePointer(QPoint(130, 540));
    movePointer(QPoint(160, 540));
    return source->said("dragging") ? std::move(source) : nullptr;
}

bool letGoOver(Peer& source, QPoint place)
{
    int step = 0;
    const bool accepted = waitUntil(
        [&] {
            movePointer(place + QPoint(++step % 6, 0));
            return source.has("accepted copy") && step > 3;
        },
        15000);
    pressButton(false);
    return accepted && source.said("dropped copy");
}

} // namespace nimbra::test
