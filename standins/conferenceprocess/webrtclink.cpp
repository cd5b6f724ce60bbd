#include "webrtclink.h"

#include <QDateTime>
#include <QDebug>
#include <QMetaObject>
#include <QPointer>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>
#pragma pop_macro("signals")

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFps = 30;
// Host candidates are gathered at once; this only covers a gatherer that
// never says it is done.
constexpr int kGatherFallbackMs = 3000;

void ensureGStreamer()
{
    static const bool initialised = [] {
        gst_init(nullptr, nullptr);
        return true;
    }();
    Q_UNUSED(initialised);
}

// Runs fn on the link's thread, unless the link is gone by then.
template <typename Fn> void post(CWebRtcLink* link, Fn fn)
{
    QPointer<CWebRtcLink> guard(link);
    QMetaObject::invokeMethod(
        link,
        [guard, fn] {
            if (guard) {
                fn();
            }
        },
        Qt::QueuedConnection);
}

QString sdpText(GstWebRTCSessionDescription* description)
{
    if (!description) {
        return QString();
    }
    gchar* text = gst_sdp_message_as_text(description->sdp);
    const QString sdp = QString::fromUtf8(text);
    g_free(text);
    return sdp;
}

GstWebRTCSessionDescription* parseDescription(const QString& sdp, GstWebRTCSDPType type)
{
    GstSDPMessage* message = nullptr;
    if (gst_sdp_message_new_from_text(sdp.toUtf8().constData(), &message) != GST_SDP_OK) {
        return nullptr;
    }
    return gst_webrtc_session_description_new(type, message);
}

QImage imageOf(GstSample* sample)
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer) {
        return QImage();
    }
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    if (!gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height) || width <= 0 || height <= 0) {
        return QImage();
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return QImage();
    }
    QImage image;
    const int stride = width * 4;
    if (map.size >= gsize(stride) * gsize(height)) {
        image = QImage(map.data, width, height, stride, QImage::Format_RGB32).copy();
    }
    gst_buffer_unmap(buffer, &map);
    return image;
}

const char* kFrameSinkCaps = "video/x-raw,format=BGRx";
} // namespace

CWebRtcLink::CWebRtcLink(const Media& media, QObject* parent) : QObject(parent), m_media(media)
{
    m_gatherFallback.setSingleShot(true);
    m_gatherFallback.setInterval(kGatherFallbackMs);
    connect(&m_gatherFallback, &QTimer::timeout, this, &CWebRtcLink::sendLocalDescription);
}

CWebRtcLink::~CWebRtcLink()
{
    if (m_pipeline) {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_webrtc);
        gst_object_unref(m_pipeline);
    }
}

bool CWebRtcLink::build(const QString& description, QString& error)
{
    ensureGStreamer();
    GError* parseError = nullptr;
    m_pipeline = gst_parse_launch(description.toUtf8().constData(), &parseError);
    if (parseError) {
        error = QString::fromUtf8(parseError->message);
        g_error_free(parseError);
        if (m_pipeline) {
            gst_object_unref(m_pipeline);
            m_pipeline = nullptr;
        }
        return false;
    }
    if (!GST_IS_PIPELINE(m_pipeline)) {
        // A description of one element parses to that element alone.
        GstElement* pipeline = gst_pipeline_new(nullptr);
        gst_bin_add(GST_BIN(pipeline), m_pipeline);
        m_pipeline = pipeline;
    }
    m_webrtc = gst_bin_get_by_name(GST_BIN(m_pipeline), "rtc");
    if (!m_webrtc) {
        error = QStringLiteral("no webrtcbin in the pipeline");
        return false;
    }
    g_signal_connect(m_webrtc, "notify::ice-gathering-state", G_CALLBACK(&CWebRtcLink::gatheringThunk), this);
    g_signal_connect(m_webrtc, "notify::ice-connection-state", G_CALLBACK(&CWebRtcLink::connectionThunk),
                     this);

    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) -> GstBusSyncReply {
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
                GError* err = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(message, &err, &debug);
                const QString why = QString::fromUtf8(err ? err->message : "error") + " (" +
                                    QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ")";
                g_clear_error(&err);
                g_free(debug);
                auto* link = static_cast<CWebRtcLink*>(self);
                post(link, [link, why] { link->onBusError(why); });
            }
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    return true;
}

bool CWebRtcLink::startPublishing(QString& error)
{
    m_publisher = true;
    const QString caps =
        QString("video/x-raw,width=%1,height=%2,framerate=%3/1").arg(kWidth).arg(kHeight).arg(kFps);
    const QString video =
        m_media.camera.isEmpty()
            ? QString("videotestsrc is-live=true pattern=ball ! %1 ! textoverlay name=name valignment=top "
                      "halignment=left font-desc=\"Noto Sans CJK SC 28\" ! timeoverlay valignment=bottom "
                      "halignment=right font-desc=\"Sans Mono 18\" shaded-background=true")
                  .arg(caps)
            : QString("v4l2src device=%1 ! videoconvert ! videoscale ! videorate ! %2")
                  .arg(m_media.camera, caps);
    const QString audio = m_media.microphone ? QStringLiteral("pulsesrc")
                                             : QStringLiteral("audiotestsrc is-live=true wave=silence");
    const QString description =
        QString("webrtcbin name=rtc bundle-policy=max-bundle latency=50 "
                "%1 ! videobalance name=camera ! tee name=t "
                "t. ! queue max-size-buffers=2 leaky=downstream ! videoconvert ! "
                "vp8enc deadline=1 cpu-used=8 target-bitrate=1000000 keyframe-max-dist=60 threads=2 ! "
                "rtpvp8pay pt=96 picture-id-mode=15-bit ! "
                "application/x-rtp,media=video,encoding-name=VP8,payload=96,clock-rate=90000 ! rtc. "
                "t. ! queue max-size-buffers=1 leaky=downstream ! videoconvert ! %2 ! "
                "appsink name=frames max-buffers=1 drop=true sync=false "
                "%3 ! volume name=microphone ! audioconvert ! audioresample ! opusenc ! rtpopuspay pt=111 ! "
                "application/x-rtp,media=audio,encoding-name=OPUS,payload=111,clock-rate=48000 ! rtc.")
            .arg(video, kFrameSinkCaps, audio);
    if (!build(description, error)) {
        return false;
    }
    if (GstElement* name = gst_bin_get_by_name(GST_BIN(m_pipeline), "name")) {
        g_object_set(name, "text", m_media.memberName.toUtf8().constData(), nullptr);
        gst_object_unref(name);
    }
    attachFrameSink(m_pipeline);
    // This side only sends; the server's answer receives.
    GArray* transceivers = nullptr;
    g_signal_emit_by_name(m_webrtc, "get-transceivers", &transceivers);
    for (guint i = 0; transceivers && i < transceivers->len; ++i) {
        GstWebRTCRTPTransceiver* transceiver = g_array_index(transceivers, GstWebRTCRTPTransceiver*, i);
        g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY, nullptr);
    }
    if (transceivers) {
        g_array_unref(transceivers);
    }
    g_signal_connect(m_webrtc, "on-negotiation-needed", G_CALLBACK(&CWebRtcLink::negotiationNeededThunk),
                     this);
    if (m_media.camera.isEmpty()) {
        showTimeOfDay();
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = QStringLiteral("the camera or the microphone cannot be started");
        return false;
    }
    return true;
}

// The generated picture's clock shows the time of day to the millisecond:
// the pipeline runs on the wall clock from local midnight. Members on one
// machine then show the same clock, and a picture received beside the own
// preview shows its delay from camera to screen.
void CWebRtcLink::showTimeOfDay()
{
    GstClock* clock =
        GST_CLOCK(g_object_new(GST_TYPE_SYSTEM_CLOCK, "clock-type", GST_CLOCK_TYPE_REALTIME, nullptr));
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 midnightMs = QDateTime(now.date(), QTime(0, 0)).toMSecsSinceEpoch();
    gst_pipeline_use_clock(GST_PIPELINE(m_pipeline), clock);
    gst_element_set_start_time(m_pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(m_pipeline, GstClockTime(midnightMs) * GST_MSECOND);
    gst_object_unref(clock);
}

bool CWebRtcLink::startReceiving(const QString& offerSdp, QString& error)
{
    GstWebRTCSessionDescription* offer = parseDescription(offerSdp, GST_WEBRTC_SDP_TYPE_OFFER);
    if (!offer) {
        error = QStringLiteral("the media server's offer is not a session description");
        return false;
    }
    if (!build(QStringLiteral("webrtcbin name=rtc bundle-policy=max-bundle latency=50"), error)) {
        gst_webrtc_session_description_free(offer);
        return false;
    }
    g_signal_connect(m_webrtc, "pad-added", G_CALLBACK(&CWebRtcLink::padAddedThunk), this);
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_webrtc_session_description_free(offer);
        error = QStringLiteral("the receiving pipeline cannot be started");
        return false;
    }
    GstPromise* promise = gst_promise_new_with_change_func(
        [](GstPromise* p, gpointer self) {
            gst_promise_unref(p);
            auto* link = static_cast<CWebRtcLink*>(self);
            post(link, [link] { link->onRemoteOfferSet(); });
        },
        this, nullptr);
    g_signal_emit_by_name(m_webrtc, "set-remote-description", offer, promise);
    gst_webrtc_session_description_free(offer);
    return true;
}

void CWebRtcLink::onRemoteOfferSet()
{
    GstPromise* promise = gst_promise_new_with_change_func(
        [](GstPromise* p, gpointer self) { static_cast<CWebRtcLink*>(self)->onDescriptionCreated(p); }, this,
        nullptr);
    g_signal_emit_by_name(m_webrtc, "create-answer", nullptr, promise);
}

void CWebRtcLink::onNegotiationNeeded()
{
    if (m_offered) {
        return;
    }
    m_offered = true;
    GstPromise* promise = gst_promise_new_with_change_func(
        [](GstPromise* p, gpointer self) { static_cast<CWebRtcLink*>(self)->onDescriptionCreated(p); }, this,
        nullptr);
    g_signal_emit_by_name(m_webrtc, "create-offer", nullptr, promise);
}

// On a GStreamer thread: the offer (publishing) or the answer (receiving)
// becomes the local description, and gathering its candidates begins.
void CWebRtcLink::onDescriptionCreated(GstPromise* promise)
{
    GstWebRTCSessionDescription* description = nullptr;
    const GstStructure* reply = gst_promise_get_reply(promise);
    if (reply) {
        gst_structure_get(reply, m_publisher ? "offer" : "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION,
                          &description, nullptr);
    }
    gst_promise_unref(promise);
    if (!description) {
        post(this, [this] { emit failed(QStringLiteral("no session description for the media server")); });
        return;
    }
    g_signal_emit_by_name(m_webrtc, "set-local-description", description, nullptr);
    gst_webrtc_session_description_free(description);
    post(this, [this] {
        m_gatherFallback.start();
        onGatheringChanged();
    });
}

void CWebRtcLink::onGatheringChanged()
{
    GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(m_webrtc, "ice-gathering-state", &state, nullptr);
    if (state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE) {
        sendLocalDescription();
    }
}

// The description goes out once, with every candidate in it: the server
// needs no trickle.
void CWebRtcLink::sendLocalDescription()
{
    if (m_descriptionSent) {
        return;
    }
    GstWebRTCSessionDescription* local = nullptr;
    g_object_get(m_webrtc, "local-description", &local, nullptr);
    if (!local) {
        return;
    }
    m_descriptionSent = true;
    m_gatherFallback.stop();
    const QString sdp = sdpText(local);
    gst_webrtc_session_description_free(local);
    emit localDescription(m_publisher ? QStringLiteral("offer") : QStringLiteral("answer"), sdp);
}

void CWebRtcLink::setRemoteAnswer(const QString& answerSdp)
{
    GstWebRTCSessionDescription* answer = parseDescription(answerSdp, GST_WEBRTC_SDP_TYPE_ANSWER);
    if (!answer) {
        emit failed(QStringLiteral("the media server's answer is not a session description"));
        return;
    }
    g_signal_emit_by_name(m_webrtc, "set-remote-description", answer, nullptr);
    gst_webrtc_session_description_free(answer);
}

void CWebRtcLink::onIncomingPad(GstPad* pad)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) {
        return;
    }
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&CWebRtcLink::decodedPadThunk), this);
    gst_bin_add(GST_BIN(m_pipeline), decoder);
    gst_element_sync_state_with_parent(decoder);
    GstPad* sink = gst_element_get_static_pad(decoder, "sink");
    gst_pad_link(pad, sink);
    gst_object_unref(sink);
}

void CWebRtcLink::onDecodedPad(GstPad* pad)
{
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) {
        caps = gst_pad_query_caps(pad, nullptr);
    }
    const QString name = QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
    gst_caps_unref(caps);
    QString description;
    if (name.startsWith(QLatin1String("video/"))) {
        description = QString("queue max-size-buffers=2 leaky=downstream ! videoconvert ! %1 ! "
                              "appsink name=frames max-buffers=1 drop=true sync=false")
                          .arg(kFrameSinkCaps);
    } else if (name.startsWith(QLatin1String("audio/"))) {
        description = m_media.speaker ? QStringLiteral("queue ! audioconvert ! audioresample ! pulsesink")
                                      : QStringLiteral("queue ! fakesink sync=false");
    } else {
        return;
    }
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    if (error) {
        g_error_free(error);
        return;
    }
    attachFrameSink(bin);
    gst_bin_add(GST_BIN(m_pipeline), bin);
    gst_element_sync_state_with_parent(bin);
    GstPad* sinkPad = gst_element_get_static_pad(bin, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

void CWebRtcLink::attachFrameSink(GstElement* bin)
{
    GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "frames");
    if (!sink) {
        return;
    }
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* appsink, gpointer self) -> GstFlowReturn {
        return static_cast<GstFlowReturn>(newSampleThunk(appsink, self));
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
}

int CWebRtcLink::newSampleThunk(GstAppSink* sink, void* self)
{
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_EOS;
    }
    const QImage image = imageOf(sample);
    gst_sample_unref(sample);
    if (!image.isNull()) {
        auto* link = static_cast<CWebRtcLink*>(self);
        post(link, [link, image] { emit link->frame(image); });
    }
    return GST_FLOW_OK;
}

void CWebRtcLink::onBusError(const QString& why)
{
    qDebug().noquote() << "media pipeline error:" << why;
    emit failed(why);
}

void CWebRtcLink::setMicrophoneMuted(bool muted)
{
    if (!m_pipeline) {
        return;
    }
    if (GstElement* volume = gst_bin_get_by_name(GST_BIN(m_pipeline), "microphone")) {
        g_object_set(volume, "mute", muted ? TRUE : FALSE, nullptr);
        gst_object_unref(volume);
    }
}

// A stopped camera sends black, so that the others see it is off.
void CWebRtcLink::setCameraOn(bool on)
{
    if (!m_pipeline) {
        return;
    }
    if (GstElement* balance = gst_bin_get_by_name(GST_BIN(m_pipeline), "camera")) {
        g_object_set(balance, "brightness", on ? 0.0 : -1.0, "contrast", on ? 1.0 : 0.0, nullptr);
        gst_object_unref(balance);
    }
}

void CWebRtcLink::negotiationNeededThunk(GstElement*, void* self)
{
    auto* link = static_cast<CWebRtcLink*>(self);
    post(link, [link] { link->onNegotiationNeeded(); });
}

void CWebRtcLink::gatheringThunk(GstElement*, GParamSpec*, void* self)
{
    auto* link = static_cast<CWebRtcLink*>(self);
    post(link, [link] { link->onGatheringChanged(); });
}

void CWebRtcLink::connectionThunk(GstElement* webrtc, GParamSpec*, void* self)
{
    GstWebRTCICEConnectionState state = GST_WEBRTC_ICE_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "ice-connection-state", &state, nullptr);
    auto* link = static_cast<CWebRtcLink*>(self);
    if (state == GST_WEBRTC_ICE_CONNECTION_STATE_CONNECTED ||
        state == GST_WEBRTC_ICE_CONNECTION_STATE_COMPLETED) {
        if (!link->m_connectedOnce.exchange(true)) {
            post(link, [link] { emit link->connected(); });
        }
    } else if (state == GST_WEBRTC_ICE_CONNECTION_STATE_FAILED) {
        post(link, [link] { emit link->failed(QStringLiteral("ICE failed")); });
    }
}

void CWebRtcLink::padAddedThunk(GstElement*, GstPad* pad, void* self)
{
    // Runs on a streaming thread; adding elements to the pipeline is safe there.
    static_cast<CWebRtcLink*>(self)->onIncomingPad(pad);
}

void CWebRtcLink::decodedPadThunk(GstElement*, GstPad* pad, void* self)
{
    static_cast<CWebRtcLink*>(self)->onDecodedPad(pad);
}
