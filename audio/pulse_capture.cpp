// PulseAudio capture.
//
// One thread of our own owns every PulseAudio object (main loop, context, stream) from
// connecting to disconnecting and runs the plain (non-threaded) main loop with the
// asynchronous API. Nothing of libpulse is then shared between threads except
// pa_mainloop_wakeup, which is made for that, so no lock is held around server calls, the
// consumer is called without any lock held, and Close only has to raise a flag, wake the loop
// and join. (The threaded main loop would run the consumer under its lock and make every call
// from Open, Start and Close take it.)
//
//   Source choice      ChooseCaptureSource (pure)
//   Capture thread     Impl: connect, choose, record, follow the default output
//   Interface          PulseCapture: Open, QueueBuffers, Start, Close

#include "audio/pulse_capture.h"

#include <pthread.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace quovis {

// ============================================================================================
// Source choice
// ============================================================================================

SourceChoice ChooseCaptureSource(std::span<const CaptureSource> sources,
                                 std::string_view defaultSink, std::string_view chosen) {
    if (!chosen.empty()) {
        for (const CaptureSource& source : sources) {
            if (source.name == chosen) return {source.name, {}};
        }
        return {{}, "no recording source is called \"" + std::string(chosen) + "\""};
    }
    // Only ever a monitor: a microphone (a Bluetooth headset's above all) is taken only by name.
    if (!defaultSink.empty()) {
        for (const CaptureSource& source : sources) {
            if (source.monitorOfSink == defaultSink) return {source.name, {}};
        }
    }
    return {std::string(kDefaultMonitorSource), {}};
}

// ============================================================================================
// Capture thread
// ============================================================================================

namespace {

// How long Open waits for the server to connect and the stream to start; a server that is
// there answers within milliseconds.
constexpr auto kOpenTimeout = std::chrono::seconds(3);

constexpr size_t kBlockBytes = kCaptureBlockBytes;
constexpr char kCaptureThreadName[] = "quovis capture";

std::string ServerError(std::string_view what, pa_context* context) {
    return std::string(what) + ": " + pa_strerror(pa_context_errno(context));
}

void Unref(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

}  // namespace

struct PulseCapture::Impl {
    enum class OpenState { Closed, Opening, Open, Failed };

    // ---- Shared with the calling thread -----------------------------------------------------
    mutable std::mutex mutex;
    std::condition_variable openStateChanged;
    OpenState openState = OpenState::Closed;  // under mutex
    std::string error;                        // under mutex
    std::string currentSource;                // under mutex
    std::atomic<bool> quit{false};
    std::atomic<bool> startRequested{false};
    // Created by Open before the thread starts and freed by Close after it ends; in between
    // only the thread uses it, apart from pa_mainloop_wakeup.
    pa_mainloop* loop = nullptr;
    std::thread thread;

    // ---- The capture thread's own (set by Open before the thread starts) --------------------
    AudioConsumer consumer;
    std::string chosen;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::string requested;  // the source the stream was connected to
    std::string device;     // the source the stream records from now (empty until READY)
    std::string defaultSink;
    std::vector<CaptureSource> listing;
    bool evaluating = false;
    bool evaluateAgain = false;
    DcFilter filter;
    std::array<int16_t, kCaptureBlockFrames * kCaptureChannels> block{};
    size_t blockBytes = 0;

    void Run();
    void Fail(const std::string& why);
    void SetOpen();

    void Evaluate();
    void Decide();
    void ConnectStream(const std::string& source);
    void MoveStream(const std::string& source);
    void Take(const void* data, size_t bytes);

    static void OnContextState(pa_context* context, void* self);
    static void OnSubscription(pa_context* context, pa_subscription_event_type_t type,
                               uint32_t index, void* self);
    static void OnServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void OnSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnStreamMoved(pa_stream* stream, void* self);
    static void OnRead(pa_stream* stream, size_t bytes, void* self);
};

void PulseCapture::Impl::Run() {
    // Named, so that a debugger, top -H or a test can tell it apart.
    pthread_setname_np(pthread_self(), kCaptureThreadName);
    context = pa_context_new(pa_mainloop_get_api(loop), "Quovis");
    if (!context) {
        Fail("cannot set up a sound server connection");
    } else {
        pa_context_set_state_callback(context, &OnContextState, this);
        // A screen saver has no business starting a sound server of its own.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            Fail(ServerError("cannot reach the sound server", context));
        }
    }
    while (!quit.load()) {
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
        if (startRequested.exchange(false) && stream) {
            Unref(pa_stream_cork(stream, 0, nullptr, nullptr));
        }
    }
    if (stream) {
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_moved_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
}

// While opening, the failure is Open's answer and the thread ends; afterwards the capture
// simply stops delivering, and the reason waits in LastError.
void PulseCapture::Impl::Fail(const std::string& why) {
    std::lock_guard lock(mutex);
    // The first reason is the cause; what fails after it (the stream of a lost connection)
    // says less.
    if (error.empty()) error = why;
    if (openState == OpenState::Opening) {
        openState = OpenState::Failed;
        quit = true;
        openStateChanged.notify_all();
    }
}

void PulseCapture::Impl::SetOpen() {
    std::lock_guard lock(mutex);
    currentSource = device;
    if (openState == OpenState::Opening) {
        openState = OpenState::Open;
        openStateChanged.notify_all();
    }
}

// Asks the server for its default output and its sources; Decide acts on the answers. An
// event that arrives meanwhile asks again once they are in.
void PulseCapture::Impl::Evaluate() {
    if (evaluating) {
        evaluateAgain = true;
        return;
    }
    evaluating = true;
    pa_operation* operation = pa_context_get_server_info(context, &OnServerInfo, this);
    if (!operation) {
        evaluating = false;
        Fail(ServerError("cannot ask the sound server for its devices", context));
        return;
    }
    pa_operation_unref(operation);
}

void PulseCapture::Impl::OnServerInfo(pa_context* context, const pa_server_info* info, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    impl.defaultSink = info && info->default_sink_name ? info->default_sink_name : "";
    impl.listing.clear();
    pa_operation* operation = pa_context_get_source_info_list(context, &OnSourceInfo, self);
    if (!operation) {
        impl.evaluating = false;
        impl.Fail(ServerError("cannot ask the sound server for its sources", context));
        return;
    }
    pa_operation_unref(operation);
}

void PulseCapture::Impl::OnSourceInfo(pa_context* context, const pa_source_info* info, int eol,
                                      void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    if (eol < 0) {
        impl.evaluating = false;
        impl.Fail(ServerError("cannot list the sound server's sources", context));
        return;
    }
    if (eol > 0 || !info) {
        impl.Decide();
        return;
    }
    CaptureSource source;
    source.name = info->name ? info->name : "";
    source.monitorOfSink = info->monitor_of_sink_name ? info->monitor_of_sink_name : "";
    impl.listing.push_back(std::move(source));
}

void PulseCapture::Impl::Decide() {
    evaluating = false;
    SourceChoice choice = ChooseCaptureSource(listing, defaultSink, chosen);
    if (!stream) {
        if (choice.name.empty()) {
            Fail(choice.error);
        } else {
            ConnectStream(choice.name);
        }
    } else if (pa_stream_get_state(stream) != PA_STREAM_READY) {
        // The stream is still starting; its READY asks again.
        evaluateAgain = true;
        return;
    } else {
        // The chosen source went away: listen to what the user hears until it comes back.
        if (choice.name.empty()) choice = ChooseCaptureSource(listing, defaultSink, {});
        // The server's "default monitor" stands in only when it names no default output we can
        // see: there is nothing better to move to, and moving on every event would only
        // interrupt the sound.
        if (choice.name != device && choice.name != kDefaultMonitorSource) MoveStream(choice.name);
    }
    if (evaluateAgain) {
        evaluateAgain = false;
        Evaluate();
    }
}

void PulseCapture::Impl::ConnectStream(const std::string& source) {
    requested = source;
    const pa_sample_spec format = {PA_SAMPLE_S16NE, kCaptureSampleRate, kCaptureChannels};
    stream = pa_stream_new(context, "Music for the art", &format, nullptr);
    if (!stream) {
        Fail(ServerError("cannot make a recording stream", context));
        return;
    }
    pa_stream_set_state_callback(stream, &OnStreamState, this);
    pa_stream_set_read_callback(stream, &OnRead, this);
    pa_stream_set_moved_callback(stream, &OnStreamMoved, this);
    // The server hands over one block at a time and keeps at most the ring's worth: older
    // sound is worth nothing to a picture that follows the music.
    pa_buffer_attr attributes;
    attributes.maxlength = kCaptureBlockBytes * kCaptureMaxBuffers;
    attributes.fragsize = kCaptureBlockBytes;
    attributes.tlength = attributes.prebuf = attributes.minreq = static_cast<uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_record(stream, source.c_str(), &attributes, flags) < 0) {
        Fail(ServerError("the sound server would not record from \"" + source + "\"", context));
    }
}

void PulseCapture::Impl::MoveStream(const std::string& source) {
    Unref(pa_context_move_source_output_by_name(context, pa_stream_get_index(stream),
                                                source.c_str(), nullptr, nullptr));
}

void PulseCapture::Impl::OnContextState(pa_context* context, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            pa_context_set_subscribe_callback(context, &OnSubscription, self);
            const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                                  PA_SUBSCRIPTION_MASK_SOURCE);
            Unref(pa_context_subscribe(context, mask, nullptr, nullptr));
            impl.Evaluate();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            impl.Fail(ServerError(impl.device.empty() ? "cannot reach the sound server"
                                                      : "the sound server went away",
                                  context));
            break;
        default:
            break;
    }
}

// The default output changed (server), or a source came or went (a chosen one may be back).
void PulseCapture::Impl::OnSubscription(pa_context*, pa_subscription_event_type_t type, uint32_t,
                                        void* self) {
    const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
        (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind != PA_SUBSCRIPTION_EVENT_CHANGE)) {
        static_cast<Impl*>(self)->Evaluate();
    }
}

void PulseCapture::Impl::OnStreamState(pa_stream* stream, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY: {
            const char* name = pa_stream_get_device_name(stream);
            impl.device = name ? name : "";
            impl.SetOpen();
            if (impl.evaluateAgain) {
                impl.evaluateAgain = false;
                impl.Evaluate();
            }
            break;
        }
        case PA_STREAM_FAILED:
            // Before READY: the source is missing or refuses the format. After: the source
            // went away and the server found nowhere to move the stream.
            impl.Fail(ServerError(
                impl.device.empty()
                    ? "the sound server would not record from \"" + impl.requested + "\""
                    : "the recording from \"" + impl.device + "\" stopped",
                impl.context));
            break;
        default:
            break;
    }
}

// The server moved the stream (the source went away, or we asked): see whether it now
// records from the right source (never a microphone nobody chose).
void PulseCapture::Impl::OnStreamMoved(pa_stream* stream, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    const char* name = pa_stream_get_device_name(stream);
    impl.device = name ? name : "";
    impl.SetOpen();
    impl.Evaluate();
}

void PulseCapture::Impl::OnRead(pa_stream* stream, size_t, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    const void* data = nullptr;
    size_t bytes = 0;
    while (!impl.quit.load() && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        impl.Take(data, bytes);
        pa_stream_drop(stream);
    }
}

// Gathers what the server hands over into whole blocks. A hole (sound the server lost) is
// kept as silence, so that the blocks after it still stand at their place in time.
void PulseCapture::Impl::Take(const void* data, size_t bytes) {
    auto* blockStart = reinterpret_cast<char*>(block.data());
    const auto* from = static_cast<const char*>(data);
    while (bytes > 0) {
        const size_t part = std::min(bytes, kBlockBytes - blockBytes);
        if (from) {
            std::memcpy(blockStart + blockBytes, from, part);
            from += part;
        } else {
            std::memset(blockStart + blockBytes, 0, part);
        }
        blockBytes += part;
        bytes -= part;
        if (blockBytes == kBlockBytes) {
            blockBytes = 0;
            filter.Apply(block.data(), kCaptureBlockFrames);
            if (consumer) consumer(block.data(), kCaptureBlockFrames);
        }
    }
}

// ============================================================================================
// Interface
// ============================================================================================

PulseCapture::PulseCapture() : m_impl(std::make_unique<Impl>()) {}

PulseCapture::~PulseCapture() {
    Close();
}

bool PulseCapture::Open(AudioConsumer consumer, std::string_view sourceName) {
    Impl& impl = *m_impl;
    if (!Close()) {
        std::lock_guard lock(impl.mutex);
        impl.error = "the capture cannot be reopened from its own thread";
        return false;
    }
    {
        std::lock_guard lock(impl.mutex);
        impl.error.clear();
        impl.openState = Impl::OpenState::Opening;
    }
    impl.loop = pa_mainloop_new();
    if (!impl.loop) {
        std::lock_guard lock(impl.mutex);
        impl.error = "cannot set up a sound server connection";
        impl.openState = Impl::OpenState::Closed;
        return false;
    }
    impl.quit = false;
    impl.startRequested = false;
    impl.consumer = std::move(consumer);
    impl.chosen = std::string(sourceName);
    impl.requested.clear();
    impl.device.clear();
    impl.evaluating = impl.evaluateAgain = false;
    impl.filter.Reset();
    impl.blockBytes = 0;
    impl.thread = std::thread([&impl] { impl.Run(); });

    bool opened = false;
    {
        std::unique_lock lock(impl.mutex);
        const bool answered = impl.openStateChanged.wait_for(
            lock, kOpenTimeout, [&impl] { return impl.openState != Impl::OpenState::Opening; });
        if (!answered) {
            impl.error = "the sound server did not answer within " +
                         std::to_string(kOpenTimeout.count()) + " s";
        }
        opened = impl.openState == Impl::OpenState::Open;
    }
    if (!opened) Close();
    return opened;
}

// The server keeps the ring of blocks queued for the stream (kCaptureMaxBuffers blocks, asked
// for at Open), so there is nothing to hand over: ready whenever the capture is open.
bool PulseCapture::QueueBuffers(int count) {
    std::lock_guard lock(m_impl->mutex);
    return count > 0 && m_impl->openState == Impl::OpenState::Open;
}

bool PulseCapture::Start() {
    {
        std::lock_guard lock(m_impl->mutex);
        if (m_impl->openState != Impl::OpenState::Open) return false;
    }
    m_impl->startRequested = true;
    pa_mainloop_wakeup(m_impl->loop);
    return true;
}

bool PulseCapture::Close() {
    Impl& impl = *m_impl;
    if (impl.thread.joinable()) {
        // The consumer cannot wait for its own thread to end: it may only ask it to stop.
        if (impl.thread.get_id() == std::this_thread::get_id()) {
            impl.quit = true;
            return false;
        }
        impl.quit = true;
        pa_mainloop_wakeup(impl.loop);
        impl.thread.join();
    }
    if (impl.loop) {
        pa_mainloop_free(impl.loop);
        impl.loop = nullptr;
    }
    impl.consumer = nullptr;
    std::lock_guard lock(impl.mutex);
    impl.openState = Impl::OpenState::Closed;
    impl.currentSource.clear();
    return true;
}

std::string PulseCapture::LastError() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->error;
}

std::string PulseCapture::CurrentSource() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->currentSource;
}

}  // namespace quovis
