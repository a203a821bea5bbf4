// Baseline x86-64 build of the row kernels, and the run-time choice of kernel set.
#define VG_KERNEL_NS base
#define VG_KERNEL_NAME "baseline"
#include "KernelsImpl.h"

namespace vg {

#if defined(VG_HAVE_AVX2_KERNELS)
namespace avx2 {
const KernelSet& Kernels();
}
#endif

const KernelSet& BaselineKernels() {
    return base::Kernels();
}

const KernelSet* Avx2Kernels() {
#if defined(VG_HAVE_AVX2_KERNELS)
    return &avx2::Kernels();
#else
    return nullptr;
#endif
}

const KernelSet& GetKernels() {
#if defined(VG_HAVE_AVX2_KERNELS) && (defined(__x86_64__) || defined(_M_X64))
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        return avx2::Kernels();
    }
#endif
    return base::Kernels();
}

}  // namespace vg
