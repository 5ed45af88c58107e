// The choice between the colour ramps, made once, the first time a line
// asks: the vector ramp needs AVX-512, which many processors lack. Why the
// ramps are exact is told in colour_ramp.h.

#include "colour_ramp.h"

namespace {

bool vector_ramp_runs_here()
{
#ifdef RIBBONS_VECTOR_RAMP
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

// 0 until the first line, then 1 + the kind, so no global constructor runs.
int chosen_kind = 0;

} // namespace

RampKind chosen_colour_ramp()
{
    if (chosen_kind == 0)
        chosen_kind = 1 + static_cast<int>(vector_ramp_runs_here() ? RampKind::vector
                                                                    : RampKind::adding);
    return static_cast<RampKind>(chosen_kind - 1);
}

std::vector<RampKind> runnable_colour_ramps()
{
    std::vector<RampKind> kinds{RampKind::adding};
    if (vector_ramp_runs_here())
        kinds.push_back(RampKind::vector);
    return kinds;
}

void use_colour_ramp(RampKind kind)
{
    if (kind == RampKind::adding || vector_ramp_runs_here())
        chosen_kind = 1 + static_cast<int>(kind);
}

const char* colour_ramp_name(RampKind kind)
{
    return kind == RampKind::vector ? "avx512" : "adding";
}

#ifdef RIBBONS_VECTOR_RAMP
RIBBONS_AVX512 void VectorRamp::values(double first, double step, double* values, int count)
{
    Lanes lanes = lanes_from(first, step);
    for (int done = 0; done < count; done += ramp_block) {
        double block[ramp_block];
        _mm512_storeu_pd(block, exact_lanes(lanes));
        for (int i = 0; i < ramp_block && done + i < count; ++i)
            values[done + i] = block[i];
    }
}
#endif
