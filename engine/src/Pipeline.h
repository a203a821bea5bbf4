// The pipeline and row kernels exist once per instruction-set build; Glaze.cpp picks one.
#pragma once

#include "Glaze.h"
#include "Kernels.h"

#include <cstdint>

namespace vg {
namespace base {
const KernelSet& Kernels();
int32_t RunPipeline(const EngineImage& image, const GlazeSettings& settings, int threads);
}  // namespace base
#if defined(VG_HAVE_AVX2_KERNELS)
namespace avx2 {
const KernelSet& Kernels();
int32_t RunPipeline(const EngineImage& image, const GlazeSettings& settings, int threads);
}  // namespace avx2
#endif
}  // namespace vg
