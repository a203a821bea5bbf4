// The engine's row kernels and pipeline for AVX2+FMA, run only on CPUs that report both.
// Every header comes before the target switch, so the inline functions and templates they
// define (which other files share) keep the baseline instruction set; only the code below
// is built for AVX2.
#include "Glaze.h"
#include "Kernels.h"
#include "Pipeline.h"
#include "Plane.h"
#include "WorkerTeam.h"
#include "Workspace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <immintrin.h>
#include <new>

#pragma GCC target("avx2,fma")

#define VG_KERNEL_NS avx2
#define VG_KERNEL_AVX2 1
#define VG_KERNEL_NAME "avx2"
#include "KernelsImpl.h"
#include "PipelineImpl.h"
