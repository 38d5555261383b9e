#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

namespace nimbra {

// The shell's alerts: a message box titled "Nimbra", brought to the front at once, that never
// blocks the run (the notch keeps answering while it waits) and deletes itself once answered.
// `buttons` in order, the first the default one; `onAnswer` gets the index of the one pressed
// (closing the box counts as the last). With a `parent` the box is modal to that window.
QMessageBox* showAlert(QMessageBox::Icon icon, const QString& message, const QString& informative,
    const QStringList& buttons = { QStringLiteral("OK") }, std::function<void(int)> onAnswer = {},
    QWidget* parent = nullptr);

} // namespace nimbra
