// The engine's row kernels and pipeline for the x86-64 baseline that every machine runs.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define VG_KERNEL_NS base
#define VG_KERNEL_NAME "baseline"
#include "KernelsImpl.h"
#include "PipelineImpl.h"
