// The OpenGL objects of the accelerated back-end and how one picture is drawn with them. One scene lives in
// one context: it is made when the context is, and goes with it.
//
// The picture travels in two steps. A video frame's Y, U and V planes are uploaded as the decoder gave them
// (one single-channel texture each, the picture region only) and a fragment shader converts them into the
// picture texture (RGB), giving the CPU converter's values exactly, so no CPU pass touches the frame. A
// visualisation picture (or a frame in a context that cannot take the planes) comes as a CPU-made surface
// instead: 16-bit or 32-bit pixels, four bytes to a texel, unpacked by a shader of its mode. Each draw then
// stretches the picture texture into the video rectangle with linear or nearest filtering, lays the grain
// grid over it and the frame grid round it.
//
// Threads: main thread, with the scene's context current.
#pragma once

#include <QImage>
#include <QOpenGLFunctions>
#include <QRect>
#include <array>
#include <cstdint>
#include <map>
#include <memory>

#include "ogg/codec_libraries.h"

class QOpenGLShaderProgram;

namespace ktv {

// One vertex of the two 4 x 4 grids: screen position (x, y in panel pixels, z 0, rhw 1), diffuse colour
// (ARGB), texture coordinates. 28 bytes, as the vertex buffer holds them.
struct tGridVertex {
  float X, Y, Z, Rhw;
  uint32_t Diffuse;
  float U, V;
};
static_assert(sizeof(tGridVertex) == 28, "the vertex buffer's stride");

constexpr int kGridVertices = 16;    // per grid; also the index offset of the second grid
constexpr int kGridIndices = 28;     // per grid strip
constexpr int kGridPrimitives = 26;  // triangles per grid strip (two degenerate joins between rows)
using tGridVertices = std::array<tGridVertex, 2 * kGridVertices>;
// The strip of a 4 x 4 grid followed by the same strip 16 vertices on; triangles 12 and 13 of a strip are the
// grid's centre cell.
std::array<uint16_t, 2 * kGridIndices> GridIndexStrips();

// How the frame corner is packed into a texel: value = Σ (channel >> loss) << shift, stored in Bytes bytes
// (little-endian), and the upload that takes such texels.
struct tTexturePacking {
  const char* Name;
  int RShift, GShift, BShift, AShift;
  int RLoss, GLoss, BLoss, ALoss;
  int Bytes;
  GLenum Format, Type;
  bool DesktopOnly;  // OpenGL ES has no such upload
};
// Tried in this order.
extern const std::array<tTexturePacking, 2> kFrameTexturePackings;
// Packs the bitmap's 32-bit B, G, R, A pixels row by row at bits + y x pitch + x x Bytes.
void PackTexture(const QImage& bitmap, uint8_t* bits, int pitch, const tTexturePacking& entry);

// The surface mode of a frame drawn from its own planes (after the conversion modes 0..4).
constexpr int32_t PlanarYUV = 5;

// How a frame's chroma lies against its luma, read from the frame itself: luma samples per chroma sample
// (1 or 2 each way: 4:2:0 is 2 x 2, 4:2:2 2 x 1, 4:4:4 1 x 1) and the luma area the planes cover (chroma
// planes too small for the luma crop it, as the CPU converter crops). Empty `Covered`: nothing drawable (a
// plane missing, a stride shorter than its row).
struct tPlaneLayout {
  int FactorX = 0, FactorY = 0;
  QRect Covered;
};
tPlaneLayout PlaneLayout(const yuv_buffer& frame);

// How planes go up in a context: single-channel textures of this format, and whether GL_UNPACK_ROW_LENGTH
// takes the stride (otherwise padded rows go up one by one).
struct tPlaneFormat {
  GLenum InternalFormat = 0, Format = 0;
  bool RowLength = false;
};

// What one draw shows.
struct tSceneState {
  QSize Panel;      // the view's size in logical pixels
  QRect VideoRect;  // where the picture goes
  bool HighQuality = true;
  bool Grain = false;  // grid 0 with the noise over the picture
  bool Frame = false;  // grid 1 with the frame texture
};

class tGLScene : protected QOpenGLFunctions {
 public:
  static constexpr int kFrameTextureSize = 64;
  static constexpr int kFrameRows = 56;  // the corner artwork's height; the texture's last rows stay empty

  tGLScene();
  ~tGLScene();
  tGLScene(const tGLScene&) = delete;
  tGLScene& operator=(const tGLScene&) = delete;

  // Makes the buffers, programs and textures (the frame texture only from a 64 x 56 frame bitmap). False when
  // a step failed: the scene then draws black.
  bool Create(const QImage& noise, const QImage& frameBitmap);
  // Deletes every object made (the context must still be current).
  void Release();
  bool IsReady() const { return Ready; }
  bool HasFrameTexture() const { return FrameTexture != 0; }
  const char* FramePackingName() const { return FramePacking; }

  // Takes a converted surface: width x height pixels of the mode (rows `pitch` bytes apart, pitch = texels x
  // 4) and unpacks `source` of it into the picture texture. False when the mode cannot be drawn here.
  bool UploadSurface(int32_t mode, int width, int height, int pitch, const uint8_t* bits,
                     const QRect& source);
  // Uploads the frame's planes (the part under `source`, which lies inside PlaneLayout(frame).Covered) and
  // converts them into the picture texture. False when they could not be uploaded or drawn.
  bool UploadPlanes(const yuv_buffer& frame, const QRect& source);
  void ReleasePicture();
  // Whether this context has a program for the mode at all (false: it never will).
  bool CanDraw(int32_t mode) { return Ready && UnpackProgram(mode) != nullptr; }
  const tPlaneFormat& PlaneFormat() const { return Planes; }
  // Test hook: uploads planes this way from now on (the context's choice is made again by the next Create).
  void SetPlaneFormatForTesting(const tPlaneFormat& format) { Planes = format; }
  bool HasPicture() const { return PictureTexture != 0; }
  void UploadVertices(const tGridVertices& vertices);

  // Draws into the bound framebuffer.
  void Draw(const tSceneState& state, qreal devicePixelRatio);

 private:
  QOpenGLShaderProgram* UnpackProgram(int32_t mode);
  // A new texture, bound, with these filters and wrap modes.
  GLuint MakeTexture(GLint filter, GLint wrap);
  void DeleteTexture(GLuint& texture);
  void DrawGrid(GLint firstIndex, GLsizei count);
  // The picture texture at `size` as the colour target of PictureFramebuffer, bound (false: not complete;
  // the previous framebuffer is then bound again and `target` holds it).
  bool BindPicture(const QSize& size, GLint& target);
  // Runs `program` over the whole picture texture with a full-screen quad and binds `target` again.
  void FillPicture(QOpenGLShaderProgram& program, const QSize& size, GLint target);
  // One plane's `rows` x `columns` samples from `bits` (rows `stride` bytes apart) into `texture`.
  void UploadPlane(GLuint& texture, QSize& texels, const uint8_t* bits, int stride, int columns, int rows);

  bool Ready = false;
  GLuint VertexBuffer = 0, IndexBuffer = 0, QuadBuffer = 0;
  GLuint GrainTexture = 0, FrameTexture = 0;
  const char* FramePacking = "";
  GLuint SurfaceTexture = 0, PictureTexture = 0, PictureFramebuffer = 0;
  QSize SurfaceTexels, PictureSize;
  std::unique_ptr<QOpenGLShaderProgram> GridProgram, StretchProgram;
  std::map<int32_t, std::unique_ptr<QOpenGLShaderProgram>> UnpackPrograms;  // by mode; null: cannot build
  tPlaneFormat Planes;
  GLuint PlaneTextures[3] = {0, 0, 0};
  QSize PlaneTexels[3];
};

}  // namespace ktv
