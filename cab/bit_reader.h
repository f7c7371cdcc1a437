// The verb the decoders' bit readers share. Each reader keeps its own
// buffer and bit order and provides refill() (tops the buffer up), peek(n)
// (the next n bits, without taking them), consume(n) and buffered() (the
// unread bits held); read_bits is the rest.
#pragma once

#include <cstdint>

namespace cab {

// peek() and consume(), refilling first when fewer than n bits are held.
template <class Reader>
inline uint32_t read_bits(Reader &in, unsigned n) {
    if (in.buffered() < n) in.refill();
    const uint32_t value = in.peek(n);
    in.consume(n);
    return value;
}

}  // namespace cab
