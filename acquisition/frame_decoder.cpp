#include "frame_decoder.h"

namespace {

// Bytes taken from the port per Read. Reads of a larger count are taken in
// pieces of this size, so the receive path needs no heap allocation however
// much is waiting.
constexpr int ReadChunk = 4096;

// Checks and appends one complete frame whose tag names an axis; after:
// the bytes of the read that came after it.
inline void EmitFrame(TReceiveState& s, uint8_t tag, uint8_t b1, uint8_t b2, int after, ISampleSink& sink)
{
    const int axis = tag - TagX;
    const int32_t value = (int32_t(b1 & 0x0F) << 8) | b2;
    const uint8_t check = uint8_t(b1 >> 4);
    s.RxCheck = check;
    // State is settled before Append, so an exception thrown by the sink
    // leaves it consistent.
    const bool valid = value % 15 == check;
    const int32_t accepted = valid ? value : s.AxisLastValue[axis];
    s.AxisValue[axis] = accepted;
    s.AxisLastValue[axis] = accepted;
    sink.AppendFrame(static_cast<TAxis>(axis), static_cast<double>(accepted), valid, after);
}

} // namespace

void DecodeBytes(TReceiveState& s, const uint8_t* p, int length, ISampleSink& sink)
{
    if (length <= 0)
        return;
    const uint8_t* const end = p + length;

    // Finish a frame left incomplete by the previous read.
    while (s.RxPending > 0 && p < end) {
        s.RxFrame[s.RxPending++] = *p++;
        if (s.RxPending == 3) {
            s.RxPending = 0;
            EmitFrame(s, s.RxFrame[0], s.RxFrame[1], s.RxFrame[2], int(end - p), sink);
        }
    }

    // At a frame boundary: whole frames straight from the buffer.
    while (end - p >= 3) {
        const uint8_t tag = p[0];
        if (!IsAxisTag(tag)) {
            ++p; // not a frame start: skip one byte and look again
            continue;
        }
        s.RxFrame[0] = tag;
        s.RxFrame[1] = p[1];
        s.RxFrame[2] = p[2];
        p += 3;
        EmitFrame(s, tag, s.RxFrame[1], s.RxFrame[2], int(end - p), sink);
    }

    // Keep the start of a frame that the next read will complete.
    while (p < end) {
        const uint8_t b = *p++;
        if (s.RxPending == 0) {
            if (IsAxisTag(b))
                s.RxFrame[s.RxPending++] = b;
        } else {
            s.RxFrame[s.RxPending++] = b;
        }
    }
}

void HandleRxChar(TReceiveState& state, int count, IRxSource& source, ISampleSink& sink)
{
    if (!source.Connected())
        return;
    uint8_t buffer[ReadChunk];
    while (count > 0) {
        const int want = count < ReadChunk ? count : ReadChunk;
        const int got = source.Read(buffer, want);
        if (got <= 0)
            return;
        // Never trust a source that claims more than it was asked for.
        const int used = got < want ? got : want;
        DecodeBytes(state, buffer, used, sink);
        if (used < want)
            return; // the port had less than it announced
        count -= used;
    }
}
