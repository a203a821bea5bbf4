// The engine's row kernels and pipeline for the x86-64 baseline that every machine runs.
#define VG_KERNEL_NS base
#define VG_KERNEL_NAME "baseline"
#include "KernelsImpl.h"
#include "PipelineImpl.h"
