#include "streaming/controlline.h"
#include "streaming/framereader.h"

#include <QtTest>

// What either side makes of the bytes a peer sends: the control line that
// opens a projection, and the frames after it. Whatever arrives, a parser
// answers with a verdict and reads nothing past what it was given.
class TestStreamParsers : public QObject
{
    Q_OBJECT

private slots:
    void controlLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("reason");
        QTest::newRow("request") << QByteArray("P2PDS/1 PROJECT") << int(ControlLine::Project) << 0;
        QTest::newRow("accept") << QByteArray("ACCEPT") << int(ControlLine::Accept) << 0;
        QTest::newRow("accept, CR LF") << QByteArray("ACCEPT\r") << int(ControlLine::Accept) << 0;
        QTest::newRow("busy") << QByteArray("BUSY") << int(ControlLine::Busy) << 0;
        QTest::newRow("reject") << QByteArray("REJECT 1") << int(ControlLine::Reject) << 1;
        QTest::newRow("reject, 9 digits")
            << QByteArray("REJECT 123456789") << int(ControlLine::Reject) << 123456789;
        // Malformed
        QTest::newRow("empty") << QByteArray() << int(ControlLine::Invalid) << 0;
        QTest::newRow("lower case") << QByteArray("accept") << int(ControlLine::Invalid) << 0;
        QTest::newRow("trailing space") << QByteArray("ACCEPT ") << int(ControlLine::Invalid) << 0;
        QTest::newRow("other version") << QByteArray("P2PDS/2 PROJECT") << int(ControlLine::Invalid) << 0;
        QTest::newRow("reject without reason") << QByteArray("REJECT") << int(ControlLine::Invalid) << 0;
        QTest::newRow("reject, empty reason") << QByteArray("REJECT ") << int(ControlLine::Invalid) << 0;
        QTest::newRow("reject, negative") << QByteArray("REJECT -1") << int(ControlLine::Invalid) << 0;
        QTest::newRow("reject, letters") << QByteArray("REJECT 1x") << int(ControlLine::Invalid) << 0;
        QTest::newRow("reject, overflowing")
            << QByteArray("REJECT 99999999999") << int(ControlLine::Invalid) << 0;
        QTest::newRow("embedded NUL") << QByteArray("ACC\0EPT", 7) << int(ControlLine::Invalid) << 0;
        QTest::newRow("accept then NUL") << QByteArray("ACCEPT\0", 7) << int(ControlLine::Invalid) << 0;
        QTest::newRow("too long") << QByteArray("REJECT ") + QByteArray(80, '1') << int(ControlLine::Invalid)
                                  << 0;
        QTest::newRow("binary") << QByteArray("\xff\xfe\x00\x01VF", 6) << int(ControlLine::Invalid) << 0;
    }
    void controlLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(int, reason);
        const ControlLine parsed = ControlLine::parse(line.toStdString());
        QCOMPARE(int(parsed.kind), kind);
        QCOMPARE(parsed.reason, reason);
        if (kind != ControlLine::Invalid) {
            // What a side writes, the other reads back.
            const std::string text = ControlLine::text(parsed.kind, parsed.reason);
            QVERIFY(text.size() < ControlLine::kMaxLength);
            QCOMPARE(int(ControlLine::parse(text.substr(0, text.size() - 1)).kind), kind);
        }
    }

    void malformedFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        auto header = [](int type, int flags, quint32 length) {
            return QByteArray::fromStdString(StreamFrame::header(static_cast<StreamFrame::Type>(type),
                                                                 static_cast<uint8_t>(flags), length));
        };
        QTest::newRow("text instead of frames") << QByteArray("STOP\n");
        QTest::newRow("wrong first byte") << QByteArray("X");
        QTest::newRow("wrong second byte") << QByteArray("VX");
        QTest::newRow("type 0") << header(0, 0, 0);
        QTest::newRow("unknown type") << header(9, 0, 4) + "abcd";
        QTest::newRow("empty video frame") << header(StreamFrame::Video, 0, 0);
        QTest::newRow("video frame too large") << header(StreamFrame::Video, 0, StreamFrame::kMaxPayload + 1);
        QTest::newRow("video length 0xffffffff") << header(StreamFrame::Video, 1, 0xffffffffu);
        QTest::newRow("unknown video flag") << header(StreamFrame::Video, 0x80, 1) + "x";
        QTest::newRow("ping with payload") << header(StreamFrame::Ping, 0, 3) + "abc";
        QTest::newRow("stop with flags") << header(StreamFrame::Stop, 1, 0);
        QTest::newRow("key-frame request with payload") << header(StreamFrame::KeyFrameRequest, 0, 1) + "k";
        QTest::newRow("good frame, then garbage") << header(StreamFrame::Ping, 0, 0) + "garbage!";
    }
    void malformedFrames()
    {
        QFETCH(QByteArray, bytes);
        FrameReader reader;
        // Byte by byte: the verdict must not depend on how the bytes are cut.
        FrameReader::Result result = FrameReader::NeedMore;
        StreamFrame frame;
        for (char c : bytes) {
            reader.feed(&c, 1);
            while ((result = reader.next(frame)) == FrameReader::Frame) {
            }
            if (result == FrameReader::Error) {
                break;
            }
        }
        QCOMPARE(int(result), int(FrameReader::Error));
        QVERIFY(!reader.error().empty());
        // An error is final: later good bytes change nothing.
        const std::string ping = StreamFrame::empty(StreamFrame::Ping);
        reader.feed(ping.data(), ping.size());
        QCOMPARE(int(reader.next(frame)), int(FrameReader::Error));
    }

    void cutFramesWaitForMore_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray video =
            QByteArray::fromStdString(StreamFrame::header(StreamFrame::Video, StreamFrame::KeyFrame, 10)) +
            "0123456789";
        QTest::newRow("half a header") << video.left(4);
        QTest::newRow("header only") << video.left(8);
        QTest::newRow("one byte short") << video.left(video.size() - 1);
    }
    void cutFramesWaitForMore()
    {
        QFETCH(QByteArray, bytes);
        FrameReader reader;
        reader.feed(bytes.constData(), bytes.size());
        StreamFrame frame;
        QCOMPARE(int(reader.next(frame)), int(FrameReader::NeedMore));
        // A stream that ends here was cut mid-frame.
        QCOMPARE(reader.pending(), std::size_t(bytes.size()));
    }

    void framesInAnyPieces()
    {
        QByteArray stream;
        stream +=
            QByteArray::fromStdString(StreamFrame::header(StreamFrame::Video, StreamFrame::KeyFrame, 5));
        stream += QByteArray("\x00\x00\x00\x01\x65", 5);
        stream += QByteArray::fromStdString(StreamFrame::empty(StreamFrame::Ping));
        stream += QByteArray::fromStdString(StreamFrame::header(StreamFrame::Video, 0, 3));
        stream += "abc";
        stream += QByteArray::fromStdString(StreamFrame::empty(StreamFrame::Stop));
        for (int piece : {1, 3, 7, 1000}) {
            FrameReader reader;
            QList<QPair<int, QByteArray>> frames;
            for (int at = 0; at < stream.size(); at += piece) {
                const QByteArray part = stream.mid(at, piece);
                reader.feed(part.constData(), part.size());
                StreamFrame frame;
                while (reader.next(frame) == FrameReader::Frame) {
                    frames.append({frame.type * 16 + frame.flags, QByteArray::fromStdString(frame.payload)});
                }
            }
            QCOMPARE(frames.size(), 4);
            QCOMPARE(frames[0],
                     qMakePair(StreamFrame::Video * 16 + 1, QByteArray("\x00\x00\x00\x01\x65", 5)));
            QCOMPARE(frames[1].first, StreamFrame::Ping * 16);
            QCOMPARE(frames[2], qMakePair(StreamFrame::Video * 16, QByteArray("abc")));
            QCOMPARE(frames[3].first, StreamFrame::Stop * 16);
            QCOMPARE(reader.pending(), std::size_t(0));
        }
    }
};

QTEST_APPLESS_MAIN(TestStreamParsers)
#include "tst_streamparsers.moc"
