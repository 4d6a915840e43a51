#include "host/qt/secondary_window.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimerEvent>
#include <QtGui/QBackingStore>
#include <QtGui/QImage>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QScreen>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "base/elapsed_time.h"
#include "present/presented_draw_wnd.h"
#include "present/transition_plan.h"
#include "settings/config_values.h"

namespace quovis {

namespace {

// Posted by the player thread when a new step is ready to be shown.
const QEvent::Type kStepReady = static_cast<QEvent::Type>(QEvent::registerEventType());

uint32_t NowMs() {
    return ElapsedTime(1000);
}

// The first picture comes a few seconds after start, when the art has something to show;
// later ones at a slower, slightly uneven pace so that several monitors do not change
// together.
constexpr int kFirstPictureMs = 3000;
constexpr int kFirstPictureSpreadMs = 2000;
constexpr int kNextPictureMs = 12000;
constexpr int kNextPictureSpreadMs = 1000;

}  // namespace

int ReadTransitionType(ConfigStore& store) {
    return store.ReadInt(kConfigFadeType.section, kConfigFadeType.name,
                         kConfigFadeType.defaultValue);
}

bool TakeArtSnapshot(PresentedDrawWnd& engine, Picture& picture, int& centroidX, int& centroidY,
                     bool& centred) {
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    const CFlipperGDI32* flipper = engine.Flipper();
    if (flipper == nullptr || !flipper->SnapshotPicture(&picture)) return false;
    centroidX = engine.CentroidX();
    centroidY = engine.CentroidY();
    centred = engine.IsSymmetric() || engine.Reflections() >= 2;
    return true;
}

bool ArtChangingSlide(PresentedDrawWnd& engine) {
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    return engine.PatternPhase() != CDrawWnd::kPhaseRunning || engine.LettersActive();
}

// ============================================================================================
// TransitionPlayer
// ============================================================================================
//
// The window thread hands a picture over with Show; the player thread fits it to the window,
// then composes the transition's steps into `m_work` and copies each finished step to
// `m_shown`, which the window thread paints from. Show during a transition ends it and the
// new one starts from whatever is on screen. Images are allocated when the window size
// changes and the fitted picture once per picture; the steps allocate nothing.

class TransitionPlayer {
  public:
    TransitionPlayer(const TransitionPlan& plan, QObject* window)
        : m_plan(plan), m_schedule(plan), m_window(window) {
        m_thread = std::thread([this] { Run(); });
    }

    ~TransitionPlayer() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit.store(true);
        }
        m_wake.notify_all();
        m_thread.join();
    }

    TransitionPlayer(const TransitionPlayer&) = delete;
    TransitionPlayer& operator=(const TransitionPlayer&) = delete;

    // Takes the picture for the next transition; `picture` gets back storage to reuse.
    void Show(Picture& picture, int centroidX, int centroidY, bool centred, bool immediate,
              QSize size) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::swap(m_request.picture, picture);
            m_request.centroidX = centroidX;
            m_request.centroidY = centroidY;
            m_request.centred = centred;
            // A picture that replaces one not yet taken keeps its claim to appear at once.
            m_request.immediate = immediate || (m_pending.load() && m_request.immediate);
            m_request.size = size;
            m_pending.store(true);
        }
        m_wake.notify_all();
    }

    // Draws what the player shows now over `area`; false before its first step.
    bool PaintShown(QPainter& painter, const QRect& area) {
        std::lock_guard<std::mutex> lock(m_shownMutex);
        if (!m_hasShown) return false;
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(area, m_shown);
        return true;
    }

    // The window took the repaint request: the next step posts another.
    void RepaintTaken() { m_repaintPosted.store(false); }

  private:
    struct Request {
        Picture picture;
        int centroidX = 0;
        int centroidY = 0;
        bool centred = false;
        bool immediate = false;
        QSize size;
    };

    bool Interrupted() const { return m_quit.load() || m_pending.load(); }

    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (true) {
            m_wake.wait(lock, [this] { return Interrupted(); });
            if (m_quit.load()) break;
            std::swap(m_current, m_request);
            m_pending.store(false);
            lock.unlock();
            if (Prepare(m_current.size) && Fit()) Play(m_current.immediate);
            lock.lock();
        }
    }

    // Images of the window's size; what was shown is kept when the size stays.
    bool Prepare(QSize size) {
        if (size.isEmpty()) return false;
        if (m_work.size() == size) return true;
        m_work = QImage(size, QImage::Format_RGB32);
        m_work.fill(Qt::black);
        m_before = m_work.copy();
        std::lock_guard<std::mutex> lock(m_shownMutex);
        m_shown = m_work.copy();
        m_hasShown = false;
        return true;
    }

    // Fits the requested picture to the window: the crop that keeps its proportions, scaled
    // smoothly (area averaging when it shrinks, which keeps the fine dots from flickering
    // into and out of the picture; bilinear when it grows).
    bool Fit() {
        const Picture& p = m_current.picture;
        if (p.width <= 0 || p.height <= 0 ||
            p.pixels.size() < static_cast<size_t>(p.width) * static_cast<size_t>(p.height)) {
            return false;
        }
        const QSize size = m_work.size();
        const CropRect crop = FitCrop(p.width, p.height, size.width(), size.height(),
                                      m_current.centroidX, m_current.centroidY, m_current.centred);
        const int x = std::clamp(static_cast<int>(std::floor(crop.x)), 0, p.width - 1);
        const int y = std::clamp(static_cast<int>(std::floor(crop.y)), 0, p.height - 1);
        const int w = std::clamp(static_cast<int>(std::lround(crop.width)), 1, p.width - x);
        const int h = std::clamp(static_cast<int>(std::lround(crop.height)), 1, p.height - y);
        const QImage view(
            reinterpret_cast<const uchar*>(p.pixels.data() + static_cast<size_t>(y) * p.width + x),
            w, h, static_cast<qsizetype>(p.width) * 4, QImage::Format_RGB32);
        // The view borrows the picture's storage, which goes back to the window thread with
        // a later picture: the target must be a copy even when no scaling is needed (scaled()
        // then returns the view itself).
        m_target = view.size() == size
                       ? view.copy()
                       : view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (m_target.format() != QImage::Format_RGB32) m_target.convertTo(QImage::Format_RGB32);
        return m_target.size() == size;
    }

    void Play(bool immediate) {
        std::memcpy(m_before.bits(), m_work.constBits(), static_cast<size_t>(m_work.sizeInBytes()));
        m_schedule.Start(immediate, NowMs());
        while (!Interrupted() && m_schedule.NextStep(NowMs())) {
            const uint32_t start = NowMs();
            DrawStep();
            Publish();
            const int pause = m_schedule.PauseMs(static_cast<int>(NowMs() - start));
            if (pause > 0) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(pause),
                                [this] { return Interrupted(); });
            }
        }
        m_schedule.Stop();
    }

    void DrawStep() {
        QPainter painter(&m_work);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const int step = m_schedule.Step();
        switch (m_plan.kind) {
            case TransitionKind::FadeIn: {
                // (1 - t) old + t new, from the picture the transition started over.
                painter.drawImage(0, 0, m_before);
                const int opacity = FadeOpacity(step, m_plan.steps);
                if (opacity > 0) {
                    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
                    painter.setOpacity(opacity / 255.0);
                    painter.drawImage(0, 0, m_target);
                }
                break;
            }
            case TransitionKind::Reveal: {
                const RowSpan rows =
                    RevealRows(m_schedule.PreviousStep(), step, m_plan.steps, m_work.height());
                if (rows.end > rows.first) {
                    const QRect strip(0, rows.first, m_work.width(), rows.end - rows.first);
                    painter.drawImage(strip, m_target, strip);
                }
                break;
            }
            case TransitionKind::Flip:
            case TransitionKind::None:
                painter.drawImage(0, 0, m_target);
                break;
        }
    }

    // Hands the step to the window thread and asks for one repaint (one request waits at a
    // time; a step that comes before it is taken is shown by it).
    void Publish() {
        {
            std::lock_guard<std::mutex> lock(m_shownMutex);
            std::memcpy(m_shown.bits(), m_work.constBits(),
                        static_cast<size_t>(m_work.sizeInBytes()));
            m_hasShown = true;
        }
        if (!m_repaintPosted.exchange(true)) {
            QCoreApplication::postEvent(m_window, new QEvent(kStepReady));
        }
    }

    const TransitionPlan m_plan;
    TransitionSchedule m_schedule;  // player thread
    QObject* m_window;

    std::mutex m_mutex;  // guards m_request; the flags change under it so no wake-up is lost
    std::condition_variable m_wake;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_pending{false};  // a new picture waits: the running transition ends
    Request m_request;

    // The player thread's own.
    Request m_current;
    QImage m_target;  // the new picture, fitted to the window
    QImage m_before;  // what was shown when the transition began
    QImage m_work;    // the step being composed

    std::mutex m_shownMutex;
    QImage m_shown;  // the last finished step, painted by the window thread
    bool m_hasShown = false;
    std::atomic<bool> m_repaintPosted{false};

    std::thread m_thread;  // last: the thread starts once everything above exists
};

// ============================================================================================
// SecondaryWindow
// ============================================================================================

SecondaryWindow::SecondaryWindow(SecondarySetup setup)
    : m_setup(std::move(setup)), m_random(std::random_device{}()) {
    setTitle(QStringLiteral("Quovis Multimon"));
    setSurfaceType(QSurface::RasterSurface);
    // The keyboard stays with the main window, whose input rules know the keys.
    setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setCursor(Qt::BlankCursor);
    m_store = std::make_unique<QBackingStore>(this);
    const TransitionPlan plan = PlanTransition(m_setup.fadeType);
    if (plan.HasPlayer()) {
        m_player = std::make_unique<TransitionPlayer>(plan, this);
        StartRefresh(kFirstPictureMs, kFirstPictureSpreadMs);
    }
}

SecondaryWindow::~SecondaryWindow() {
    m_refresh.stop();
    m_player.reset();  // before the window goes: the thread posts to it
}

void SecondaryWindow::StartRefresh(int baseMs, int spreadMs) {
    const int delay = baseMs + static_cast<int>(m_random() % static_cast<unsigned>(spreadMs));
    m_refresh.start(delay, this);
}

void SecondaryWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_refresh.timerId()) {
        QWindow::timerEvent(event);
        return;
    }
    m_refresh.stop();
    // A picture in the middle of a slide change or a title would show a half-made pattern.
    if (!m_setup.slideChanging || !m_setup.slideChanging()) ShowNextPicture();
    StartRefresh(kNextPictureMs, kNextPictureSpreadMs);
}

void SecondaryWindow::ShowNextPicture() {
    if (!m_player || !m_setup.takeSnapshot) return;
    const qreal ratio = devicePixelRatio();
    const QSize size(static_cast<int>(width() * ratio + 0.5),
                     static_cast<int>(height() * ratio + 0.5));
    if (size.isEmpty()) return;
    int centroidX = 0;
    int centroidY = 0;
    bool centred = false;
    if (!m_setup.takeSnapshot(m_snapshot, centroidX, centroidY, centred)) return;
    // The first picture replaces the black at once: there is nothing to fade from.
    m_player->Show(m_snapshot, centroidX, centroidY, centred, !m_shownAny, size);
    m_shownAny = true;
}

bool SecondaryWindow::event(QEvent* event) {
    if (event->type() == kStepReady) {
        if (m_player) m_player->RepaintTaken();
        Paint();
        return true;
    }
    return QWindow::event(event);
}

void SecondaryWindow::exposeEvent(QExposeEvent*) {
    Paint();
}

void SecondaryWindow::Paint() {
    if (!isExposed()) return;
    const QRect area(0, 0, width(), height());
    if (m_store->size() != area.size()) m_store->resize(area.size());
    m_store->beginPaint(area);
    {
        QPainter painter(m_store->paintDevice());
        if (!m_player || !m_player->PaintShown(painter, area)) painter.fillRect(area, Qt::black);
    }
    m_store->endPaint();
    m_store->flush(area);
}

void SecondaryWindow::Deliver(const SaverInputResult& result) {
    if (result.action != SaverAction::None && m_setup.onInput) m_setup.onInput(result);
}

void SecondaryWindow::mouseMoveEvent(QMouseEvent* event) {
    // Global positions: the rule measures how far the pointer went, on any monitor.
    const QPoint p = event->globalPosition().toPoint();
    Deliver(m_pointer.Move(p.x(), p.y()));
}

void SecondaryWindow::mousePressEvent(QMouseEvent*) {
    SaverInputResult end;
    end.action = SaverAction::EndSaver;
    Deliver(end);
}

void SecondaryWindow::keyPressEvent(QKeyEvent*) {
    SaverInputResult end;
    end.action = SaverAction::EndSaver;
    Deliver(end);
}

std::unique_ptr<SecondaryWindow> OpenSecondaryWindow(QScreen* screen, SecondarySetup setup) {
    auto window = std::make_unique<SecondaryWindow>(std::move(setup));
    // Full screen as ShowFullScreenOn makes it, but without asking for activation, which
    // would take the keyboard from the main window.
    if (screen != nullptr) {
        window->setScreen(screen);
        window->setGeometry(screen->geometry());
    }
    window->setWindowStates(Qt::WindowFullScreen);
    window->setVisible(true);
    return window;
}

}  // namespace quovis
