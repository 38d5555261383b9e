#pragma once

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace nimbra {

// The animated picture at the top of each feature step of onboarding: a small desktop with the
// notch at its top edge, playing a short scene of one feature in an endless loop. Every frame
// is a function of the wall clock alone (seconds since 1 January 2001), so a scene does not
// restart when its step is shown again and two stages of one scene are in the same phase. The
// frame clock (at most 30 frames a second) runs only while the stage is on screen and
// something in the scene moves; the sample texts are fixed, never live data.
class OnboardingStage final : public QWidget {
    Q_OBJECT
public:
    enum class Scene { hover, music, clipboard, shelf, timers, eyes };

    static constexpr double height = 188;
    static constexpr int frameIntervalMs = 34;
    // A change of scene cross-fades over this long.
    static constexpr double fadeDuration = 0.22;

    explicit OnboardingStage(Scene scene, double notchWidth = 132, double notchHeight = 26, QWidget* parent = nullptr);
    ~OnboardingStage() override;

    Scene scene() const { return m_scene; }
    // Shows another scene, cross-fading from the one shown.
    void setScene(Scene scene);
    bool isAnimating() const { return m_frames.isActive(); }
    // Whether the scene shown before is still fading out.
    bool isFading() const;
    QSize sizeHint() const override;

    // Seconds since 1 January 2001, 00:00 UTC: the scenes' time.
    static double now();
    // The clock the stage reads; replaceable in tests.
    std::function<double()> time = &OnboardingStage::now;
    // How long one cycle of a scene lasts (the eyes' pointer path repeats every five cycles).
    static double period(Scene scene);
    // The notch's openness (0 to 1) at the cycle phase `p`, for an opening window from `a` to
    // `b`: it opens over the first 18 % of the window and closes over the last 18 %; at the
    // bounds themselves it is closed.
    static double envelope(double p, double a, double b);
    // The openness of a scene's notch at time `t`; the eyes scene has no notch to open.
    static double openness(Scene scene, double t);
    // The clipboard scene: the query typed by phase `p` ("", "r", "re", "rep"), and the sample
    // entries it matches, in order.
    static QString clipboardQuery(double p);
    static QStringList clipboardMatches(const QString& query);
    // The shelf scene: how far the dragged file has come (0 to 1), and whether it has landed.
    static double shelfDrag(double p);
    static bool shelfLanded(double p) { return p > 0.5; }
    // The hover scene: the pointer's top, in points below the stage's top.
    static double hoverPointerY(double p);
    // The eyes scene: the pointer as fractions of the stage, from its top-leading corner.
    static QPointF eyesPointer(double t);
    // How long after `t` the picture of `scene` first differs from the one at `t`: 0 while it
    // moves. Between the movements (a notch resting open or closed) the clock sleeps that long.
    static double nextChange(Scene scene, double t);

    // One frame of `scene` at time `t` on a stage of `size`; `primary` is the window's text
    // colour, which the stage's border is drawn in. (The stage itself keeps the pictures a frame
    // is made of from one frame to the next.)
    static void paint(QPainter& painter, QSizeF size, Scene scene, double t, double notchWidth, double notchHeight,
        const QColor& primary);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Layers;
    // Runs the frame clock while the stage is visible in a window on screen.
    void syncClock();
    // Draws a frame and sets the clock for the next one that differs.
    void frame();
    void armClock();

    Scene m_scene;
    double m_notchWidth;
    double m_notchHeight;
    // The scene faded out, and when the fade began.
    std::optional<Scene> m_previous;
    double m_fadeStart = 0;
    QTimer m_frames;
    QObject* m_watchedWindow = nullptr;
    std::unique_ptr<Layers> m_layers;
};

} // namespace nimbra
