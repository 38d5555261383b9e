#pragma once

#include <QObject>

namespace nimbra {

// The composition root: owns every component for the whole run, wires their callbacks
// and runs the launch and stop sequences.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    bool terminated_ = false;
};

} // namespace nimbra
