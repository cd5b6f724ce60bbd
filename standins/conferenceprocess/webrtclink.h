#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstPromise GstPromise;
typedef struct _GParamSpec GParamSpec;
typedef struct _GstAppSink GstAppSink;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

// One WebRTC peer connection to the media server, through webrtcbin: either
// this member's own picture and sound going up (a publisher), or one other
// member's coming down (a subscriber). GStreamer calls come on its threads;
// every signal of this object is emitted on the object's own thread.
class CWebRtcLink : public QObject
{
    Q_OBJECT
public:
    struct Media
    {
        QString memberName;      // drawn on the generated picture
        QString camera;          // a V4L2 device, empty for the generated picture
        bool microphone = false; // from the sound server, else silence
        bool speaker = false;    // play received sound on the sound server
    };

    explicit CWebRtcLink(const Media& media, QObject* parent = nullptr);
    ~CWebRtcLink() override;

    // Builds the sending pipeline; localDescription(offer) follows.
    bool startPublishing(QString& error);
    // Builds a receiving pipeline for the server's offer; localDescription(answer) follows.
    bool startReceiving(const QString& offerSdp, QString& error);
    void setRemoteAnswer(const QString& answerSdp);

    void setMicrophoneMuted(bool muted);
    void setCameraOn(bool on);

signals:
    void localDescription(const QString& type, const QString& sdp);
    // A picture to show: this member's preview, or the remote member's video.
    void frame(const QImage& image);
    void connected();
    void failed(const QString& why);

private:
    bool build(const QString& description, QString& error);
    void showTimeOfDay();
    void onNegotiationNeeded();
    void onDescriptionCreated(GstPromise* promise);
    void onRemoteOfferSet();
    void onGatheringChanged();
    void sendLocalDescription();
    void onIncomingPad(GstPad* pad);
    void onDecodedPad(GstPad* pad);
    // Hands the pictures of the bin's appsink "frames" to frame().
    void attachFrameSink(GstElement* bin);
    void onBusError(const QString& why);

    static void negotiationNeededThunk(GstElement*, void* self);
    static void gatheringThunk(GstElement*, GParamSpec*, void* self);
    static void connectionThunk(GstElement*, GParamSpec*, void* self);
    static void padAddedThunk(GstElement*, GstPad* pad, void* self);
    static void decodedPadThunk(GstElement*, GstPad* pad, void* self);
    static int newSampleThunk(GstAppSink* sink, void* self);

    const Media m_media;
    GstElement* m_pipeline = nullptr;
    GstElement* m_webrtc = nullptr;
    bool m_publisher = false;
    bool m_offered = false;
    bool m_descriptionSent = false;
    std::atomic<bool> m_connectedOnce{false};
    QTimer m_gatherFallback;
};
