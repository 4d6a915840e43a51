#include "engine/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace quovis {
namespace {

// A second implementation written straight from the formulas: plain 64-bit modular products
// instead of Schrage's decomposition, so a slip in either is caught by the other.
struct Reference {
    int64_t s1 = 0;
    int64_t s2 = 0;
    uint32_t fast[11] = {};
    int index = 0;
    uint32_t crand = 0;
    double pink[5] = {};

    int CRand() {
        crand = crand * 1103515245u + 12345u;
        return static_cast<int>((crand / 65536u) % 32768u);
    }
    void Seed(int64_t s, uint32_t ms, uint32_t tick) {
        crand = tick;
        const int r = CRand() % 10000;
        if (s == 0) s = (static_cast<int64_t>(ms) + r + tick) % 5655569;
        s1 = 40014 * std::llabs(s + 137) % 2147483563;
        s2 = 2046819002;
        for (int i = 0; i < 11; ++i) fast[i] = tick ^ static_cast<uint32_t>(37041 + 12347 * i);
        index = 0;
    }
    int64_t Integer() {
        s1 = s1 * 40014 % 2147483563;
        s2 = s2 * 40692 % 2147483399;
        int64_t z = s1 - s2;
        if (z < 1) z += 2147483562;
        return z;
    }
    double Uniform() { return static_cast<double>(Integer()) * 4.65661305739177e-10; }
    float Signed(float a) {
        uint32_t& x = fast[index];
        index = (index + 1) % 11;
        x = x * 196314165u + 907633515u;
        return (std::bit_cast<float>((x >> 9) | 0x40000000u) - 3.0f) * a;
    }
    double Pink() {
        static const double threshold[5] = {0.00198, 0.01478, 0.06378, 0.23378, 0.91578};
        static const double amplitude[5] = {3.8024, 2.9694, 2.5970, 3.0870, 3.4006};
        const double u = Uniform();
        for (int i = 0; i < 5; ++i) {
            if (u <= threshold[i]) {
                pink[i] = (2.0 * Uniform() - 1.0) * amplitude[i];
                break;
            }
        }
        const double sum = pink[0] + pink[1] + pink[2] + pink[3] + pink[4];
        return (sum / 15.8564 + 1.0) * 7.0 / 14.0;
    }
};

TEST(CLibraryRand, GivesTheCStandardSequence) {
    // The C standard's example generator seeded with 1 starts 16838, 5758, 10113, 17515.
    CLibraryRand r;
    r.Seed(1);
    EXPECT_EQ(r.Next(), 16838);
    EXPECT_EQ(r.Next(), 5758);
    EXPECT_EQ(r.Next(), 10113);
    EXPECT_EQ(r.Next(), 17515);
}

TEST(RandomUniform, FirstOutputsWorkedByHand) {
    // Seed 1: s1 = 40014 * 138 = 5521932, s2 = 2046819002.
    // Step 1: s1 = 40014 * 5521932 mod 2147483563 = 220954587048 - 102 * 2147483563
    //            = 1911263622; s2 = 40692 * 2046819002 mod 2147483399 = 1162682568;
    //         z = 748581054.
    EngineRandom r;
    r.Seed(1, 0, 0);
    EXPECT_EQ(r.State1(), 5521932);
    EXPECT_EQ(r.State2(), 2046819002);
    EXPECT_EQ(r.RandomInteger(), 748581054);
    EXPECT_EQ(r.State1(), 1911263622);
    EXPECT_EQ(r.State2(), 1162682568);
    EXPECT_EQ(r.RandomInteger(), 445631465);
    EXPECT_DOUBLE_EQ(r.RandomUniform(), 390723295 * 4.65661305739177e-10);
}

TEST(RandomUniform, MatchesTheReferenceForAwkwardSeeds) {
    // Includes seeds whose s + 137 does not fit in 32 bits.
    const int32_t seeds[] = {1,
                             774833,
                             -5,
                             5655568,
                             std::numeric_limits<int32_t>::max(),
                             std::numeric_limits<int32_t>::min()};
    for (int32_t seed : seeds) {
        EngineRandom r;
        Reference ref;
        r.Seed(seed, 1234, 98765);
        ref.Seed(seed, 1234, 98765);
        ASSERT_EQ(r.State1(), ref.s1) << "seed " << seed;
        for (int i = 0; i < 200000; ++i) {
            const double expected = ref.Uniform();
            const double got = r.RandomUniform();
            ASSERT_EQ(got, expected) << "seed " << seed << " draw " << i;
            ASSERT_GT(got, 0.0);
            ASSERT_LT(got, 1.0);
        }
    }
}

TEST(RandomUniform, SeedsThatWouldStallTheFirstGeneratorStillMoveIt) {
    // -137 and 2147483563 - 137 make 40014 * |s + 137| a multiple of the modulus.
    for (int32_t seed : {-137, 2147483426}) {
        EngineRandom r;
        r.Seed(seed, 0, 0);
        EXPECT_NE(r.State1(), 0) << "seed " << seed;
        const int32_t before = r.State1();
        r.RandomUniform();
        EXPECT_NE(r.State1(), before) << "seed " << seed;
    }
}

TEST(Seed, ZeroTakesItsSeedFromTheClock) {
    const uint32_t ms = 777777, tick = 31337;
    Reference ref;
    ref.crand = tick;
    const int r = ref.CRand() % 10000;
    const int32_t derived = static_cast<int32_t>((ms + r + tick) % 5655569);

    EngineRandom fromClock, explicitSeed;
    fromClock.Seed(0, ms, tick);
    explicitSeed.Seed(derived, ms, tick);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(fromClock.RandomInteger(), explicitSeed.RandomInteger());

    EngineRandom later;
    later.Seed(0, ms + 1, tick);
    EngineRandom again;
    again.Seed(0, ms, tick);
    EXPECT_NE(later.RandomInteger(), again.RandomInteger());
}

TEST(Seed, AGivenSeedRepeatsAndOnlyTheTickCountMovesTheFastGenerators) {
    EngineRandom a, b, c;
    a.Seed(9001, 10, 500);
    b.Seed(9001, 999999, 500);
    c.Seed(9001, 10, 501);
    int sameSigned = 0;
    for (int i = 0; i < 1000; ++i) {
        const double u = a.RandomUniform();
        ASSERT_EQ(u, b.RandomUniform());
        ASSERT_EQ(u, c.RandomUniform());
        const float v = a.RandomSigned(1.0f);
        ASSERT_EQ(v, b.RandomSigned(1.0f));
        if (v == c.RandomSigned(1.0f)) ++sameSigned;
    }
    EXPECT_LT(sameSigned, 10);
}

TEST(RandomSigned, MatchesTheBitPatternReference) {
    EngineRandom r;
    Reference ref;
    r.Seed(5, 0, 0xDEADBEEF);
    ref.Seed(5, 0, 0xDEADBEEF);
    for (int i = 0; i < 50000; ++i) {
        const float a = 0.25f + static_cast<float>(i % 7);
        ASSERT_EQ(std::bit_cast<uint32_t>(r.RandomSigned(a)),
                  std::bit_cast<uint32_t>(ref.Signed(a)))
            << "draw " << i;
    }
}

TEST(RandomSigned, FillsTheHalfOpenRange) {
    EngineRandom r;
    r.Seed(77, 0, 12345);
    const float a = 2.5f;
    float lo = a, hi = -a;
    double sum = 0.0;
    const int n = 300000;
    for (int i = 0; i < n; ++i) {
        const float v = r.RandomSigned(a);
        ASSERT_GE(v, -a);
        ASSERT_LT(v, a);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
    }
    EXPECT_LT(lo, -a * 0.999f);
    EXPECT_GT(hi, a * 0.999f);
    EXPECT_NEAR(sum / n, 0.0, 0.02);
    EXPECT_EQ(r.RandomSigned(0.0f), 0.0f);
}

TEST(PinkNoise, MatchesTheReference) {
    EngineRandom r;
    Reference ref;
    r.Seed(321, 0, 0);
    ref.Seed(321, 0, 0);
    r.InitPinkChannel(17);
    for (double& o : ref.pink) o = ref.Uniform();
    for (int i = 0; i < 50000; ++i) ASSERT_DOUBLE_EQ(r.PinkNoise(17), ref.Pink()) << "draw " << i;
}

TEST(PinkNoise, AFreshChannelAveragesOneHalfAndStaysInRange) {
    EngineRandom r;
    r.Seed(2024, 0, 0);
    r.InitPinkChannels(EngineRandom::kPinkChannelsUsed);
    const int n = 1000000;
    double sum = 0.0, lo = 1.0, hi = 0.0;
    for (int i = 0; i < n; ++i) {
        const double v = r.PinkNoise(4);
        sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_NEAR(sum / n, 0.5, 0.03);
    EXPECT_GE(lo, 0.0);
    EXPECT_LE(hi, 1.0);
    // It should wander over most of the range, not sit at the middle.
    EXPECT_LT(lo, 0.2);
    EXPECT_GT(hi, 0.8);
}

TEST(PinkNoise, ChannelsOutsideTheTableAreHarmless) {
    EngineRandom a, b;
    a.Seed(8, 0, 0);
    b.Seed(8, 0, 0);
    EXPECT_EQ(a.PinkNoise(-1), 0.5);
    EXPECT_EQ(a.PinkNoise(EngineRandom::kPinkChannels), 0.5);
    a.InitPinkChannel(EngineRandom::kPinkChannels);
    // No random numbers were used up by the refused calls.
    EXPECT_EQ(a.RandomUniform(), b.RandomUniform());
}

}  // namespace
}  // namespace quovis
