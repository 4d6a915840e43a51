// EngineRandom: the random numbers of one drawing engine.
//
// Four generators share one object, because the art depends on the order in which they are
// drawn and every engine must keep its own order:
//   RandomUniform / RandomInteger  L'Ecuyer's combined generator (no shuffle table): the slow,
//                                  good one, used for everything that shapes a pattern.
//   RandomSigned                   eleven small LCGs taken in turn: cheap noise in [-a, a).
//   PinkNoise                      a 1/f-like signal per channel, built on RandomUniform.
//   Rand                           a C-library-style generator (0..32767) for the few places
//                                  that want "rand()": the jitter cursor and coin flips.
// The C-library style generator is a member rather than ::rand() so that engines in one
// process (preview, full screen, one per monitor) never disturb each other's sequences.
//
// Nothing here is thread-safe; the engine calls it from its frame thread only.
#pragma once

#include <cstdint>

namespace quovis {

// The generator behind rand() as the C standard's example gives it. Kept explicit so that a
// seeded engine produces the same sequence with any C library.
class CLibraryRand {
  public:
    static constexpr int kMax = 32767;
    void Seed(uint32_t seed) { m_next = seed; }
    int Next() {
        m_next = m_next * 1103515245u + 12345u;
        return static_cast<int>((m_next / 65536u) % 32768u);
    }

  private:
    uint32_t m_next = 1;
};

class EngineRandom {
  public:
    static constexpr int kPinkChannels = 240;      // room in the table
    static constexpr int kPinkChannelsUsed = 208;  // channels the engine's users claim
    static constexpr int kPinkOctaves = 5;
    static constexpr int kFastStates = 11;

    // A fresh generator is in a fixed, valid state (the engine's first seed at clock 0), so
    // "the first output of a freshly constructed generator" is the same on every run.
    EngineRandom();

    // Seeds every generator. The C-style generator is seeded from tickCount and one value
    // r = Rand() % 10000 is drawn from it; seed 0 asks for a seed from the clock,
    // (clockMs + r + tickCount) mod 5655569. The RandomSigned states always come from
    // tickCount, so only a fixed clock makes RandomSigned repeatable.
    void Seed(int32_t seed, uint32_t clockMs, uint32_t tickCount);

    // Uniform in (0, 1).
    double RandomUniform();
    // Uniform integer in 1 .. 2147483562 (below 2^31); the same stream as RandomUniform.
    int32_t RandomInteger();
    // Uniform in [-a, a) (for a >= 0).
    float RandomSigned(float a);

    // Pink noise of one channel: about [0, 1], mean 0.5. A channel outside 0..239 has no
    // state; it gets 0.5 and changes nothing.
    double PinkNoise(int channel);
    // Sets a channel's five octaves to fresh RandomUniform values.
    void InitPinkChannel(int channel);
    // InitPinkChannel for channels 0 .. count-1 (count limited to the table).
    void InitPinkChannels(int count);

    // The C-library-style generator: 0 .. 32767.
    int Rand() { return m_crand.Next(); }

    // The L'Ecuyer states, for tests that check the seeding.
    int32_t State1() const { return m_s1; }
    int32_t State2() const { return m_s2; }

  private:
    int32_t m_s1 = 0;
    int32_t m_s2 = 0;
    uint32_t m_fast[kFastStates] = {};
    int m_fastIndex = 0;
    CLibraryRand m_crand;
    double m_pink[kPinkChannels][kPinkOctaves] = {};
};

}  // namespace quovis
