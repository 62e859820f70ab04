#pragma once
// Decoding of the accelerometer's 3-byte axis frames.
//
// Frame: [tag][K:4 | V11..8:4][V7..0]; tag 0x78/0x79/0x7A is axis X/Y/Z.
// A frame is valid when V mod 15 == K; a frame that fails its check is
// replaced by the last accepted value of its axis (0 before any).
//
// The stream is decoded as a stream: every complete frame among the bytes
// read is appended, in order; a frame split across reads is completed by a
// later read; outside a frame, bytes that are not tags are skipped. So what
// is plotted does not depend on how the port splits the stream.
//
// This file has no Qt dependency on purpose: it is tested and fuzzed alone.

#include "sample_sink.h"
#include "sensor_axes.h"

#include <cstdint>

// The port as the decoder reads it.
class IRxSource {
public:
    virtual ~IRxSource() = default;
    virtual bool Connected() const = 0;
    // Takes up to count waiting bytes into buffer; returns how many it
    // delivered (0 or less: none).
    virtual int Read(void* buffer, int count) = 0;
};

// Receive state: plain fixed-size data, zero-initialised, never reset.
struct TReceiveState {
    uint8_t RxFrame[3];           // the frame being assembled / last frame read
    uint8_t RxPending;            // bytes of RxFrame already received (0..2)
    uint8_t RxCheck;              // check nibble of the last frame with an axis tag
    int32_t AxisValue[AxisCount];     // value decoded per axis; after checking, the value appended
    int32_t AxisLastValue[AxisCount]; // value last appended per axis; 0 until the first
};

constexpr uint8_t TagX = 0x78;
constexpr uint8_t TagY = 0x79;
constexpr uint8_t TagZ = 0x7A;

inline bool IsAxisTag(uint8_t b) { return b >= TagX && b <= TagZ; }

// Takes the count bytes waiting in source and decodes them on state, handing
// each frame to sink. Does nothing when the source is not connected. The
// receiver (receiver.h) calls it once per receive notification with the
// receive state it owns.
void HandleRxChar(TReceiveState& state, int count, IRxSource& source, ISampleSink& sink);

// Decodes bytes already taken from the port. Exposed for the fuzzer and the
// benchmark; HandleRxChar uses it for each read.
void DecodeBytes(TReceiveState& state, const uint8_t* bytes, int length, ISampleSink& sink);
