#pragma once

// Boundary of the peer-to-peer projection library ("session"). The client
// relies only on what is declared here: the calls, the settings bytes it fills
// and the callbacks. Everything behind them belongs to the library.

#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(P2PDS_BUILDING_LIBRARY)
#define P2PDS_EXPORT __attribute__((visibility("default")))
#else
#define P2PDS_EXPORT
#endif

// Byte layout the client fills: byte 0 the kind of entries (0 = projection
// codes, 1 = IPv4 addresses), two 20-byte NUL-terminated Latin-1 entries at
// bytes 1 and 21, zero words at 44 and 56 and the entry count at 48. The
// constructor initialises every byte.
struct P2PDS_EXPORT P2PDsClientSettings
{
    P2PDsClientSettings();

    uint8_t kind;
    char entries[2][20];
    uint8_t reserved41[3];
    int32_t reserved44;
    int32_t entryCount;
    int32_t reserved52;
    int32_t reserved56;
    int32_t reserved60;
};
static_assert(offsetof(P2PDsClientSettings, entries) == 1, "entry 0 at byte 1");
static_assert(offsetof(P2PDsClientSettings, reserved44) == 44, "word at byte 44");
static_assert(offsetof(P2PDsClientSettings, entryCount) == 48, "entry count at byte 48");
static_assert(offsetof(P2PDsClientSettings, reserved56) == 56, "word at byte 56");

// Callbacks arrive on a thread of the library.
class IP2PDsClientSessionCb
{
public:
    virtual void onProjectionSuccess() = 0;
    virtual void onProjectionRejected(int32_t reason) = 0;
    virtual void onBusying() = 0;
    virtual void onProjectionStopped() = 0;
    virtual void onNoStreamProjectionCommandResponse(int32_t command) = 0;
    virtual ~IP2PDsClientSessionCb() = default;
};

class P2PDS_EXPORT P2PDsClientSessionProxy
{
public:
    explicit P2PDsClientSessionProxy(IP2PDsClientSessionCb* callback);
    ~P2PDsClientSessionProxy();
    P2PDsClientSessionProxy(const P2PDsClientSessionProxy&) = delete;
    P2PDsClientSessionProxy& operator=(const P2PDsClientSessionProxy&) = delete;

    int init();
    // Writes the receiver's dotted IPv4 text into ip (20 bytes, zeroed by the
    // caller); an unknown code gives an address ending in "0.0.0".
    int getIpFromVerfCode(const char* code, char* ip);
    int startProjection(const P2PDsClientSettings& settings);
    int cancelProjection();
    int stopProjection();
    int terminate();

    // Shares to meeting rooms, for the conference process (the client does
    // not use them): projects to one receiver at address:port, taking the
    // room over from whoever shows there; senderName (UTF-8, may be empty) is
    // shown on the receiver. The callbacks are those of startProjection.
    int startShare(const char* address, int port, const char* senderName);
    enum StopReason
    {
        StoppedByCaller = 0,
        EndedByReceiver = 1, // its user stopped it
        TakenOver = 2,       // another sender took the room over
        ReceiverLost = 3,    // the connection broke or fell silent
        CaptureFailed = 4
    };
    // Why the last projection ended, valid in and after onProjectionStopped.
    int lastStopReason() const;

    struct Private;

private:
    std::unique_ptr<Private> d;
};
