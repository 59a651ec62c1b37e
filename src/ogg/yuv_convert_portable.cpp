// Processors without our vector kernels convert with the tables alone.
#include "ogg/yuv_convert.h"
#include "ogg/yuv_convert_kernels.h"

namespace ktv::yuv {

bool PathSupported(tYUVPath path) {
  return path == tYUVPath::Plain;
}

const tKernels* KernelsFor(tYUVPath) {
  return nullptr;
}

}  // namespace ktv::yuv
