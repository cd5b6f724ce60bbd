#include "streaming/screensender.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <mutex>

namespace {
void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

std::string takeError(GstElement* pipeline)
{
    std::string text;
    GstBus* bus = gst_element_get_bus(pipeline);
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        text = error ? error->message : "unknown GStreamer error";
        g_clear_error(&error);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return text;
}
} // namespace

ScreenSender::ScreenSender() = default;

ScreenSender::~ScreenSender()
{
    stop();
}

bool ScreenSender::start(const std::string& display, int bitrateKbps, std::string& problem)
{
    initialiseOnce();
    stop();
    // use-damage=false: whole frames at a steady rate, which the encoder needs.
    // Key frames come on request only (key-int-max at x264's "infinite").
    gchar* description = g_strdup_printf(
        "ximagesrc name=src use-damage=false show-pointer=true "
        "! video/x-raw,framerate=30/1 ! queue max-size-buffers=2 leaky=downstream "
        "! videoconvert ! video/x-raw,format=I420 "
        "! x264enc name=enc tune=zerolatency speed-preset=ultrafast bitrate=%d key-int-max=1073741824 "
        "! video/x-h264,stream-format=byte-stream,alignment=au ! h264parse config-interval=-1 "
        "! appsink name=sink sync=false max-buffers=8",
        bitrateKbps);
    GError* error = nullptr;
    m_pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!m_pipeline || error) {
        problem = std::string("the capture pipeline cannot be built: ") +
                  (error ? error->message : "missing GStreamer elements");
        g_clear_error(&error);
        stop();
        return false;
    }
    // Set as a property, so no display name can change the pipeline's text.
    GstElement* source = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
    g_object_set(source, "display-name", display.c_str(), nullptr);
    gst_object_unref(source);
    m_encoder = gst_bin_get_by_name(GST_BIN(m_pipeline), "enc");
    m_sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "sink");
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        const std::string why = takeError(m_pipeline);
        problem =
            "the screen of display " + display + " cannot be captured" + (why.empty() ? "" : ": " + why);
        stop();
        return false;
    }
    return true;
}

bool ScreenSender::pull(Unit& unit, int timeoutMs)
{
    if (!m_sink) {
        return false;
    }
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink),
                                                     static_cast<GstClockTime>(timeoutMs) * GST_MSECOND);
    if (!sample) {
        return false;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    bool ok = false;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        unit.data.assign(reinterpret_cast<const char*>(map.data), map.size);
        unit.keyFrame = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
        gst_buffer_unmap(buffer, &map);
        ok = !unit.data.empty();
    }
    gst_sample_unref(sample);
    return ok;
}

bool ScreenSender::failed(std::string& problem)
{
    if (!m_pipeline) {
        problem = "the capture is not running";
        return true;
    }
    const std::string why = takeError(m_pipeline);
    if (!why.empty()) {
        problem = "screen capture failed: " + why;
        return true;
    }
    if (gst_app_sink_is_eos(GST_APP_SINK(m_sink))) {
        problem = "screen capture ended";
        return true;
    }
    return false;
}

void ScreenSender::requestKeyFrame()
{
    if (m_encoder) {
        gst_element_send_event(m_encoder,
                               gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    }
}

void ScreenSender::stop()
{
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }
    if (m_encoder) {
        gst_object_unref(m_encoder);
        m_encoder = nullptr;
    }
    if (m_sink) {
        gst_object_unref(m_sink);
        m_sink = nullptr;
    }
    if (m_pipeline) {
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
}
