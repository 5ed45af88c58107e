// The proof that the colour ramps give exactly what repeated double
// additions give: every pair of component levels the 16-bit readers can
// return at every length up to 4096, seeded random lengths up to the longest
// line the coordinates allow, and random components 0..255 as the readers
// of other colour depths return them. The plain additions live only here,
// as the model. The vector ramp's values are compared; the adding ramp's
// values are the additions themselves, so its packed colours are, with red,
// green and blue each with a grade of its own.

#include "colour_ramp.h"
#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// A line's colour component: its grade from one level to another.
struct Grade {
    int from, to;
    double step(long long count) const { return (to - from) / double(count); }
};

// Red, green and blue, each with a grade of its own, so that a component packed
// into another's field shows.
using Grades = std::array<Grade, 3>;

std::string describe(const Grades& grades)
{
    const char* names[] = {"red", "green", "blue"};
    std::string text;
    for (std::size_t c = 0; c < grades.size(); ++c)
        text += std::string(c ? ", " : "") + names[c] + ' ' + std::to_string(grades[c].from) +
                " to " + std::to_string(grades[c].to);
    return text;
}

// The levels getr16, getg16 and getb16 return, read through the library's
// own tables: 32 for red and blue, 64 for green.
std::vector<int> levels(int (*reader)(int), int (*maker)(int))
{
    std::set<int> found;
    for (int level = 0; level < 256; ++level)
        found.insert(reader(maker(level)));
    return {found.begin(), found.end()};
}

int red_of(int level) { return makecol16(level, 0, 0); }
int green_of(int level) { return makecol16(0, level, 0); }
int blue_of(int level) { return makecol16(0, 0, level); }

// First place where the adding ramp's colours differ from the library's own
// packing of the additions' values, or -1.
long long first_packing_difference(const Grades& grades, long long count)
{
    const FieldShifts shifts{_rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16};
    const auto [r, g, b] = grades;
    const double r_step = r.step(count), g_step = g.step(count), b_step = b.step(count);
    AddingRamp ramp({double(r.from), double(g.from), double(b.from), r_step, g_step, b_step},
                    shifts);
    std::uint16_t block[ramp_block];
    double red = r.from, green = g.from, blue = b.from;
    for (long long done = 0; done < count; done += ramp_block) {
        ramp.next_block(block);
        for (int i = 0; i < ramp_block && done + i < count; ++i) {
            if (block[i] != makecol16(int(red), int(green), int(blue)))
                return done + i;
            red += r_step;
            green += g_step;
            blue += b_step;
        }
    }
    return -1;
}

#ifdef RIBBONS_VECTOR_RAMP
// First place where the vector ramp's values differ from the additions, or -1.
long long first_value_difference(double first, double step, long long count,
                                 std::vector<double>& got)
{
    constexpr int chunk = 1 << 20;
    got.resize(chunk);
    double model = first;
    for (long long done = 0; done < count; done += chunk) {
        const int size = static_cast<int>(std::min<long long>(chunk, count - done));
        // Long runs restart from the model's value every chunk, to bound the
        // memory; a ramp is exact from any exact value.
        VectorRamp::values(model, step, got.data(), size);
        for (int i = 0; i < size; ++i) {
            if (got[static_cast<std::size_t>(i)] != model)
                return done + i;
            model += step;
        }
    }
    return -1;
}
#endif

// Each ramp this processor runs, proved on its own. The vector ramp's
// guesses fail where a value enters a new binade, which lines of every length
// must show. The adding ramp's values are the additions themselves; what it
// could get wrong, the packing and the move from block to block, is the same
// at every length, so shorter lines prove it, in seconds even under QEMU.
class ColourRampProof : public ::testing::TestWithParam<RampKind> {
protected:
    void SetUp() override { start_headless_allegro(); }

    bool at_every_length() const { return GetParam() == RampKind::vector; }

    // First place where the ramp differs from the additions, or -1. The
    // vector ramp's values are those of red's grade; every grade is red's in
    // some case.
    long long first_difference(const Grades& grades, long long count,
                               [[maybe_unused]] std::vector<double>& got) const
    {
#ifdef RIBBONS_VECTOR_RAMP
        if (GetParam() == RampKind::vector)
            return first_value_difference(grades[0].from, grades[0].step(count), count, got);
#endif
        return first_packing_difference(grades, count);
    }
};

TEST_P(ColourRampProof, matches_the_additions_for_every_16_bit_level_pair_and_length)
{
    const std::vector<int> fives = levels(getr16, red_of);
    const std::vector<int> sixes = levels(getg16, green_of);
    ASSERT_EQ(fives.size(), 32u);
    ASSERT_EQ(sixes.size(), 64u);
    ASSERT_EQ(levels(getb16, blue_of), fives);

    std::vector<Grade> pairs;
    for (const std::vector<int>* set : {&fives, &sixes})
        for (int from : *set)
            for (int to : *set)
                pairs.push_back({from, to});
    // Green and blue take the pairs a third and two thirds of the way on,
    // so the adding ramp, which packs all three, meets every pair in a third
    // of the cases; the vector ramp's are red's, which must run through all.
    const std::size_t third = (pairs.size() + 2) / 3;
    const std::size_t cases = at_every_length() ? pairs.size() : third;
    const auto grades_from = [&](std::size_t p) {
        return Grades{pairs[p], pairs[(p + third) % pairs.size()],
                      pairs[(p + 2 * third) % pairs.size()]};
    };

    // Two threads, one per core of the machine the suite runs on.
    std::vector<std::string> failures[2];
    auto prove = [&](int part) {
        std::vector<double> got;
        for (std::size_t p = static_cast<std::size_t>(part); p < cases; p += 2) {
            const Grades grades = grades_from(p);
            for (int n = 1; n <= (at_every_length() ? 4096 : 256); ++n) {
                const long long at = first_difference(grades, n, got);
                if (at >= 0 && failures[part].size() < 10)
                    failures[part].push_back(describe(grades) + " over " + std::to_string(n) +
                                             ", pixel " + std::to_string(at));
            }
        }
    };
#ifdef __EMSCRIPTEN__
    // A web page's program has one thread.
    prove(1);
    prove(0);
#else
    std::thread other(prove, 1);
    prove(0);
    other.join();
#endif
    EXPECT_TRUE(failures[0].empty() && failures[1].empty())
        << (failures[0].empty() ? failures[1].front() : failures[0].front());
}

TEST_P(ColourRampProof, matches_the_additions_for_random_components_and_lengths)
{
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> component(0, 255);
    std::uniform_int_distribution<int> short_length(1, 5000);
    const int longest_log = at_every_length() ? 30 : 20;
    std::uniform_real_distribution<double> log_length(12, longest_log);
    std::vector<double> got;
    const auto random_grades = [&] {
        Grades grades;
        for (Grade& grade : grades)
            grade = {component(random), component(random)};
        return grades;
    };
    // Components 0..255, as the readers of the other colour depths give them;
    // 20,000 random grades, three to a case where the ramp packs all three.
    const int short_cases = at_every_length() ? 20000 : 20000 / 3;
    for (int i = 0; i < short_cases; ++i) {
        const Grades grades = random_grades();
        const int n = short_length(random);
        ASSERT_EQ(first_difference(grades, n, got), -1) << describe(grades) << " over " << n;
    }
    for (int i = 0; i < 12; ++i) {
        const Grades grades = random_grades();
        const long long n = static_cast<long long>(std::exp2(log_length(random)));
        EXPECT_EQ(first_difference(grades, n, got), -1) << describe(grades) << " over " << n;
    }
    // The longest line: twice each delta must fit in an int, so 2^30 pixels.
    const int longest = 1 << longest_log;
    EXPECT_EQ(first_difference({{{3, 255}, {0, 255}, {255, 0}}}, longest, got), -1);
    EXPECT_EQ(first_difference({{{255, 0}, {255, 3}, {3, 255}}}, longest, got), -1);
}

INSTANTIATE_TEST_SUITE_P(Ramps, ColourRampProof, ::testing::ValuesIn(runnable_colour_ramps()),
                         [](const auto& ramp) {
                             return std::string(colour_ramp_name(ramp.param));
                         });

} // namespace
