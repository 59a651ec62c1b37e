// Which vector kernels an x86-64 processor runs: SSE2 always (the baseline), AVX2 where the processor and the
// system report it.
#include "ogg/yuv_convert.h"
#include "ogg/yuv_convert_kernels.h"

namespace ktv::yuv {

extern const tKernels kSSE2Kernels, kAVX2Kernels;

bool PathSupported(tYUVPath path) {
  switch (path) {
    case tYUVPath::Plain:
    case tYUVPath::SSE2:
      return true;
    case tYUVPath::AVX2:
      return __builtin_cpu_supports("avx2");
  }
  return false;
}

const tKernels* KernelsFor(tYUVPath path) {
  if (!PathSupported(path)) return nullptr;
  switch (path) {
    case tYUVPath::SSE2:
      return &kSSE2Kernels;
    case tYUVPath::AVX2:
      return &kAVX2Kernels;
    default:
      return nullptr;
  }
}

}  // namespace ktv::yuv
