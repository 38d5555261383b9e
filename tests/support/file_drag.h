#pragma once

#include "support/peer.h"

#include <QPoint>
#include <QString>
#include <memory>

// A file dragged out of another application's window (tests/ui/drag_source) by the real pointer.
namespace nimbra::test {

// That application's window holding `file`, with its drag started by the pointer; nullptr when
// the window did not come up or the drag did not start.
std::unique_ptr<Peer> dragFrom(const QString& file);

// Held still a moment over `place`, as a person would before letting go, until the source has
// heard that the place takes the drag; then let go. True once the source saw its file taken.
bool letGoOver(Peer& source, QPoint place);

} // namespace nimbra::test
