#pragma once

// Decodes the H.264 access units of one projection into pictures:
// appsrc ! h264parse ! avdec_h264 ! videoconvert ! appsink. Pictures and
// failures arrive on the GUI thread.

#include <QImage>
#include <QObject>

#include <string>

struct _GstElement;

class StreamDecoder : public QObject
{
    Q_OBJECT
public:
    explicit StreamDecoder(QObject* parent = nullptr);
    ~StreamDecoder() override;

    bool start(QString& problem);
    void push(const std::string& accessUnit);

signals:
    void pictureReady(const QImage& picture);
    void failed(const QString& problem);

private:
    void stop();
    static int onSample(_GstElement* sink, void* self);

    _GstElement* m_pipeline = nullptr;
    _GstElement* m_source = nullptr;
};
