// The OpenGL objects of the accelerated back-end and how one picture is drawn with them. One scene lives in
// one context: it is made when the context is, and goes with it.
//
// The picture travels in two steps. The surface texture holds the CPU-converted frame as it came from
// ConvertFrame (packed YUV, 16-bit or 32-bit pixels, four bytes to a texel); a fragment shader of the
// surface's mode unpacks it, converting colour, into the picture texture (the picture region only, RGB) once
// per new frame. Each draw then stretches the picture texture into the video rectangle with linear or nearest
// filtering, lays the grain grid over it and the frame grid round it.
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
  void ReleasePicture();
  // Whether this context has a program for the mode at all (false: it never will).
  bool CanDraw(int32_t mode) { return Ready && UnpackProgram(mode) != nullptr; }
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

  bool Ready = false;
  GLuint VertexBuffer = 0, IndexBuffer = 0, QuadBuffer = 0;
  GLuint GrainTexture = 0, FrameTexture = 0;
  const char* FramePacking = "";
  GLuint SurfaceTexture = 0, PictureTexture = 0, PictureFramebuffer = 0;
  QSize SurfaceTexels, PictureSize;
  std::unique_ptr<QOpenGLShaderProgram> GridProgram, StretchProgram;
  std::map<int32_t, std::unique_ptr<QOpenGLShaderProgram>> UnpackPrograms;  // by mode; null: cannot build
};

}  // namespace ktv
