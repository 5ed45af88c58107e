// The packed 16-bit colours of a graded line, eight pixels at a time, exactly
// as repeated double-precision additions give them.
//
// A component's value at pixel k is its first value advanced by k additions
// of the step: v(0) = first, v(k + 1) = fl(v(k) + s). AddingRamp does just
// that. VectorRamp works out eight values at once and is exact for this
// reason: it guesses v(k + j) = v(k) + j * d for j = 0..7 from the exact
// v(k) and a guessed move d, then checks every guess with one vector
// addition: the guesses are the real values when fl(guess(j) + s) equals
// guess(j + 1) for each j (the last lane against the next block's first
// guess), since each then follows from the one before exactly as the
// additions make it. Lane 0 is exact, so by induction every lane up to the
// first that fails the check is exact too, and that lane plus the step, just
// worked out by the check, is the true value after it; the ramp guesses
// again from there. Each round settles at least one more lane, so a block
// always ends exact, and so does the first guess of the next block, which
// the check of the last lane has vouched for.
//
// Why the guesses are nearly always right: within one binade, the doubles
// x with 2^e <= |x| < 2^(e+1), every double is a whole multiple of one
// spacing u = 2^(e-52). While a value and its sum with s stay there, the
// addition rounds s alone to a multiple of u, so the value moves by the same
// amount every time (a sum half-way between two multiples rounds to the even
// one; after that the value is even and the move stays the same). The move
// taken from the last exact value is therefore the move of the whole
// stretch, and a guess fails only where a value enters a new binade: a few
// times per line, since a component from 0 to 255 passes through at most
// eight binades at or above 1.
#pragma once

#include <cstdint>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define RIBBONS_SSE2_PACKING 1
// Not on Windows: the vector ramp keeps 64-byte AVX-512 values, which the
// compiler may put on the stack with aligned moves, and GCC cannot align
// the stack to 64 bytes there, so the program would crash on exactly the
// processors that run the ramp. Windows builds take the adding ramp.
#if !defined(_WIN32)
#define RIBBONS_VECTOR_RAMP 1
#define RIBBONS_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq,fma")))
#endif
#elif defined(__EMSCRIPTEN__) && defined(__SSE2__)
// A web page built with -msimd128 -msse2: emscripten carries out the SSE2
// intrinsics with WebAssembly's 128-bit vector instructions.
#include <emmintrin.h>
#define RIBBONS_SSE2_PACKING 1
#endif

// Where the 16-bit pixel format puts its 5-, 6- and 5-bit fields.
struct FieldShifts {
    int r, g, b;
};

// First values and steps of the three components, in double precision.
struct RampStart {
    double r, g, b;
    double step_r, step_g, step_b;
};

// Pixels per block: each next_block call writes this many colours.
constexpr int ramp_block = 8;

// The library's 16-bit packing: each component truncated toward zero, cut to
// its top 5 or 6 bits and placed at its field. The fields are placed as
// unsigned values: a block's lanes past the line's last pixel run on beyond
// the second colour, where a component can fall below zero, and shifting a
// negative int left is undefined (those lanes are never drawn).
inline std::uint16_t pack16(double r, double g, double b, FieldShifts shifts)
{
    const auto field = [](double value, int cut, int shift) {
        return static_cast<unsigned>(static_cast<int>(value) >> cut) << shift;
    };
    return static_cast<std::uint16_t>(field(r, 3, shifts.r) | field(g, 2, shifts.g) |
                                      field(b, 3, shifts.b));
}

// The colours by the additions themselves, one pixel after another: for
// processors without the vector instructions. Each component's additions are
// its own chain, one pixel waiting for the one before, so the work beside
// them must stay small: on x86-64 the values are truncated and packed four
// pixels at a time with SSE2, which every such processor has.
class AddingRamp {
public:
    AddingRamp(const RampStart& start, FieldShifts shifts) : grade_(start), shifts_(shifts) {}

#ifdef RIBBONS_SSE2_PACKING
    [[gnu::always_inline]] void next_block(std::uint16_t* colours)
    {
        const __m128i r_shift = _mm_cvtsi32_si128(shifts_.r);
        const __m128i g_shift = _mm_cvtsi32_si128(shifts_.g);
        const __m128i b_shift = _mm_cvtsi32_si128(shifts_.b);
        const Block r = whole_values(grade_.r, grade_.step_r);
        const Block g = whole_values(grade_.g, grade_.step_g);
        const Block b = whole_values(grade_.b, grade_.step_b);
        const auto packed = [&](__m128i Block::*half) {
            return _mm_or_si128(_mm_or_si128(fields(r.*half, 3, r_shift),
                                             fields(g.*half, 2, g_shift)),
                                fields(b.*half, 3, b_shift));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colours),
                         _mm_packs_epi32(low_16_bits(packed(&Block::first)),
                                         low_16_bits(packed(&Block::second))));
    }
#else
    [[gnu::always_inline]] void next_block(std::uint16_t* colours)
    {
        for (int i = 0; i < ramp_block; ++i) {
            colours[i] = pack16(grade_.r, grade_.g, grade_.b, shifts_);
            grade_.r += grade_.step_r;
            grade_.g += grade_.step_g;
            grade_.b += grade_.step_b;
        }
    }
#endif

private:
#ifdef RIBBONS_SSE2_PACKING
    // A block's eight whole values of one component, four to a vector.
    struct Block {
        __m128i first, second;
    };

    // Two values, each truncated toward zero, and the additions after them.
    static __m128i whole_pair(double& value, double step)
    {
        const double first = value;
        value += step;
        const __m128d pair = _mm_setr_pd(first, value);
        value += step;
        return _mm_cvttpd_epi32(pair);
    }

    static __m128i whole_four(double& value, double step)
    {
        const __m128i low = whole_pair(value, step);
        return _mm_unpacklo_epi64(low, whole_pair(value, step));
    }

    static Block whole_values(double& value, double step)
    {
        const __m128i first = whole_four(value, step);
        return {first, whole_four(value, step)};
    }

    static __m128i fields(__m128i whole, int cut, __m128i shift)
    {
        return _mm_sll_epi32(_mm_srai_epi32(whole, cut), shift);
    }

    // The low 16 bits, sign-extended, so that the signed narrowing keeps
    // them as they are.
    static __m128i low_16_bits(__m128i packed)
    {
        return _mm_srai_epi32(_mm_slli_epi32(packed, 16), 16);
    }
#endif

    RampStart grade_;
    FieldShifts shifts_;
};

#ifdef RIBBONS_VECTOR_RAMP
// The colours eight at a time in AVX-512 registers, guessed and checked.
class VectorRamp {
public:
    RIBBONS_AVX512 VectorRamp(const RampStart& start, FieldShifts shifts)
        : r_(lanes_from(start.r, start.step_r)), g_(lanes_from(start.g, start.step_g)),
          b_(lanes_from(start.b, start.step_b)), r_shift_(_mm_cvtsi32_si128(shifts.r)),
          g_shift_(_mm_cvtsi32_si128(shifts.g)), b_shift_(_mm_cvtsi32_si128(shifts.b))
    {
    }

    RIBBONS_AVX512 void next_block(std::uint16_t* colours)
    {
        const __m256i packed =
            _mm256_or_si256(_mm256_or_si256(fields(exact_lanes(r_), 3, r_shift_),
                                            fields(exact_lanes(g_), 2, g_shift_)),
                            fields(exact_lanes(b_), 3, b_shift_));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colours), _mm256_cvtepi32_epi16(packed));
    }

    // The next `count` values of one component, for checking the guesses
    // against the additions.
    static void values(double first, double step, double* values, int count);

private:
    // One component: the guesses for the current block and the next, the
    // move they were made with (and eight of it), and the step.
    struct Lanes {
        __m512d guess, next_guess, rise, block_rise, step;
    };

    // The masked forms of the intrinsics, with every lane kept, spare the
    // unmasked ones' undefined source operand, which GCC 12 warns about.
    static constexpr __mmask8 all_lanes = 0xff;

    RIBBONS_AVX512 static __m512d lane_index() { return _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7); }

    // The lanes after `lane`, all of them for lane -1.
    RIBBONS_AVX512 static __mmask8 after(int lane)
    {
        return static_cast<__mmask8>(0xff << (lane + 1));
    }

    // Guesses from the exact value `start` on, for the lanes after `lane`
    // (where `start` belongs) and the next block. The move is what one
    // addition makes from `start`: the move of the stretch unless `start`
    // has just entered its binade or a half-way sum rounds the other way,
    // which the check catches.
    RIBBONS_AVX512 static void guess_after(Lanes& lanes, __m512d start, int lane)
    {
        const __m512d from_start = _mm512_sub_pd(lane_index(), _mm512_set1_pd(lane + 1));
        lanes.rise = _mm512_sub_pd(_mm512_add_pd(start, lanes.step), start);
        lanes.block_rise = _mm512_mul_pd(lanes.rise, _mm512_set1_pd(ramp_block));
        lanes.guess = _mm512_mask_blend_pd(after(lane), lanes.guess,
                                           _mm512_fmadd_pd(from_start, lanes.rise, start));
        lanes.next_guess = _mm512_fmadd_pd(_mm512_add_pd(from_start, _mm512_set1_pd(ramp_block)),
                                           lanes.rise, start);
    }

    RIBBONS_AVX512 static Lanes lanes_from(double first, double step)
    {
        Lanes lanes{};
        lanes.step = _mm512_set1_pd(step);
        guess_after(lanes, _mm512_set1_pd(first), -1);
        return lanes;
    }

    // The lanes after `lane` whose guess plus the step is not the guess for
    // the pixel after it.
    RIBBONS_AVX512 static __mmask8 wrong_after(const Lanes& lanes, __m512d sums, int lane)
    {
        const __m512d following = _mm512_castsi512_pd(
            _mm512_maskz_alignr_epi64(all_lanes, _mm512_castpd_si512(lanes.next_guess),
                                      _mm512_castpd_si512(lanes.guess), 1));
        return _mm512_mask_cmp_pd_mask(after(lane), sums, following, _CMP_NEQ_OQ);
    }

    // The block's eight exact values of one component; moves on to the next.
    RIBBONS_AVX512 static __m512d exact_lanes(Lanes& lanes)
    {
        __m512d sums = _mm512_add_pd(lanes.guess, lanes.step);
        __mmask8 wrong = wrong_after(lanes, sums, -1);
        while (wrong) {
            // Lanes up to the first wrong one hold; its sum is the true
            // value of the pixel after it.
            const int exact = __builtin_ctz(wrong);
            guess_after(lanes,
                        _mm512_maskz_permutexvar_pd(all_lanes, _mm512_set1_epi64(exact), sums),
                        exact);
            sums = _mm512_add_pd(lanes.guess, lanes.step);
            wrong = wrong_after(lanes, sums, exact);
        }
        const __m512d block = lanes.guess;
        lanes.guess = lanes.next_guess;
        lanes.next_guess = _mm512_add_pd(lanes.next_guess, lanes.block_rise);
        return block;
    }

    RIBBONS_AVX512 static __m256i fields(__m512d values, int cut, __m128i shift)
    {
        const __m256i whole = _mm512_maskz_cvttpd_epi32(all_lanes, values); // toward zero
        return _mm256_sll_epi32(_mm256_srai_epi32(whole, cut), shift);
    }

    Lanes r_, g_, b_;
    __m128i r_shift_, g_shift_, b_shift_;
};
#endif

// Which ramp the line uses: the vector one where the processor runs it.
enum class RampKind { adding, vector };
RampKind chosen_colour_ramp();

// For tests: the kinds this processor runs, and a way to make the line use
// one of them.
std::vector<RampKind> runnable_colour_ramps();
void use_colour_ramp(RampKind kind);
// A short name, for benchmark rows and test messages.
const char* colour_ramp_name(RampKind kind);
