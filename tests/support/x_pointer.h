#pragma once

#include <QPoint>

// The real pointer on the X server this process shows its windows on, moved and pressed as a
// person would, through the XTEST extension.
namespace nimbra::test {

// Moves the pointer to `qt` (global Qt coordinates).
void movePointer(QPoint qt);
// Presses or releases the first button where the pointer is.
void pressButton(bool press);
// Lets go of the button when it goes out of scope, should the test have stopped while holding
// it: fake input outlives the client that sent it.
struct ButtonLetGo {
    ~ButtonLetGo();
};
// Waits until the X server has handled every request sent so far (shapes, stacking, fake input)
// and this process has handled the events that came of them.
void syncWithServer();

} // namespace nimbra::test
