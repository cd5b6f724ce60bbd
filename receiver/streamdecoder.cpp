#include "receiver/streamdecoder.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

StreamDecoder::StreamDecoder(QObject* parent) : QObject(parent) {}

StreamDecoder::~StreamDecoder()
{
    stop();
}

bool StreamDecoder::start(QString& problem)
{
    stop();
    GError* error = nullptr;
    // sync=false: show each picture as soon as it is decoded; a live source
    // has nothing to wait for. Only the newest picture matters.
    m_pipeline = gst_parse_launch("appsrc name=src is-live=true do-timestamp=true format=time "
                                  "caps=video/x-h264,stream-format=byte-stream,alignment=au "
                                  "! h264parse ! avdec_h264 ! videoconvert ! video/x-raw,format=BGRx "
                                  "! appsink name=sink sync=false max-buffers=1 drop=true emit-signals=true",
                                  &error);
    if (!m_pipeline || error) {
        problem = QString("the decoder cannot be built: %1").arg(error ? error->message : "missing elements");
        g_clear_error(&error);
        stop();
        return false;
    }
    m_source = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "sink");
    g_signal_connect(sink, "new-sample", G_CALLBACK(&StreamDecoder::onSample), this);
    gst_object_unref(sink);

    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) {
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                const QString text = error ? QString::fromUtf8(error->message) : QString("decoder error");
                g_clear_error(&error);
                auto* decoder = static_cast<StreamDecoder*>(self);
                QMetaObject::invokeMethod(
                    decoder, [decoder, text] { emit decoder->failed(text); }, Qt::QueuedConnection);
            }
            gst_message_unref(message);
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);

    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        problem = "the decoder does not start";
        stop();
        return false;
    }
    return true;
}

void StreamDecoder::push(const std::string& accessUnit)
{
    if (!m_source) {
        return;
    }
    GstBuffer* buffer = gst_buffer_new_memdup(accessUnit.data(), accessUnit.size());
    gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer);
}

// On a streaming thread of the pipeline.
int StreamDecoder::onSample(_GstElement* sink, void* self)
{
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample) {
        return GST_FLOW_OK;
    }
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && buffer &&
        gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const int width = GST_VIDEO_INFO_WIDTH(&info);
        const int height = GST_VIDEO_INFO_HEIGHT(&info);
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        if (width > 0 && height > 0 && map.size >= static_cast<gsize>(stride) * height) {
            const QImage picture = QImage(map.data, width, height, stride, QImage::Format_RGB32).copy();
            auto* decoder = static_cast<StreamDecoder*>(self);
            QMetaObject::invokeMethod(
                decoder, [decoder, picture] { emit decoder->pictureReady(picture); }, Qt::QueuedConnection);
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void StreamDecoder::stop()
{
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }
    if (m_source) {
        gst_object_unref(m_source);
        m_source = nullptr;
    }
    if (m_pipeline) {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
}
