// AVX2+FMA build of the row kernels; used only on CPUs that report both.
#define VG_KERNEL_NS avx2
#define VG_KERNEL_NAME "avx2"
#include "KernelsImpl.h"
