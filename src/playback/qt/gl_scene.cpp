#include "playback/qt/gl_scene.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "playback/qt/bitmap_routines.h"

namespace ktv {

namespace {

constexpr GLenum kBGRA = 0x80E1;               // GL_BGRA: desktop OpenGL 1.2 and later
constexpr GLenum kR8 = 0x8229, kRed = 0x1903;  // OpenGL 3.0, ARB_texture_rg, OpenGL ES 3.0
constexpr GLenum kUnpackRowLength = 0x0CF2;    // desktop OpenGL, OpenGL ES 3.0, EXT_unpack_subimage

// Attribute slots, bound before linking.
constexpr GLuint kPosition = 0, kDiffuse = 1, kTexCoord = 2;

// Every fragment shader: full float precision where the device has it (pixel coordinates of a 1080p picture
// need more than 10 bits).
const char* const kPrecision = R"(
#ifdef GL_ES
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
#endif
)";

// Pre-transformed vertices: x, y are panel pixels, top-left origin.
const char* const kGridVertexShader = R"(
attribute vec4 a_position;
attribute vec4 a_diffuse;
attribute vec2 a_texcoord;
uniform vec2 u_panel;
varying vec4 v_diffuse;
varying vec2 v_texcoord;
void main() {
  gl_Position = vec4(a_position.x / u_panel.x * 2.0 - 1.0, 1.0 - a_position.y / u_panel.y * 2.0, 0.0, 1.0);
  v_diffuse = a_diffuse.zyxw;  // the ARGB value's bytes are B, G, R, A
  v_texcoord = a_texcoord;
}
)";

// Colour from the texture; alpha from the vertex (grain, and the opaque frame without a picture) or from the
// texture (the frame's own alpha over a picture).
const char* const kGridFragmentShader = R"(
uniform sampler2D u_texture;
uniform float u_textureAlpha;
varying vec4 v_diffuse;
varying vec2 v_texcoord;
void main() {
  vec4 texel = texture2D(u_texture, v_texcoord);
  gl_FragColor = vec4(texel.rgb, mix(v_diffuse.a, texel.a, u_textureAlpha));
}
)";

const char* const kStretchVertexShader = R"(
attribute vec2 a_position;
attribute vec2 a_texcoord;
uniform vec2 u_panel;
varying vec2 v_texcoord;
void main() {
  gl_Position = vec4(a_position.x / u_panel.x * 2.0 - 1.0, 1.0 - a_position.y / u_panel.y * 2.0, 0.0, 1.0);
  v_texcoord = a_texcoord;
}
)";

const char* const kStretchFragmentShader = R"(
uniform sampler2D u_picture;
varying vec2 v_texcoord;
void main() {
  gl_FragColor = vec4(texture2D(u_picture, v_texcoord).rgb, 1.0);
}
)";

const char* const kUnpackVertexShader = R"(
attribute vec2 a_position;
void main() {
  gl_Position = vec4(a_position, 0.0, 1.0);
}
)";

// One picture pixel per fragment: the fragment's row k is the surface's row u_origin.y + k. The texel holds
// two pixels of the 16-bit modes, one of RGB32.
const char* const kUnpackFragmentShader = R"(
uniform sampler2D u_surface;
uniform vec2 u_texels;
uniform vec2 u_origin;
vec4 Bytes(float x, float y) {
  return floor(texture2D(u_surface, (vec2(x, y) + 0.5) / u_texels) * 255.0 + 0.5);
}
void main() {
  vec2 p = floor(gl_FragCoord.xy) + u_origin;
#if MODE == 4
  gl_FragColor = vec4(Bytes(p.x, p.y).bgr / 255.0, 1.0);
#else
  float pair = floor(p.x * 0.5);
  vec4 t = Bytes(pair, p.y);
  vec2 b = p.x - 2.0 * pair > 0.5 ? t.ba : t.rg;
  float word = b.y * 256.0 + b.x;
#if MODE == 3
  vec3 c = vec3(floor(word / 2048.0), mod(floor(word / 32.0), 64.0), mod(word, 32.0)) / vec3(31.0, 63.0, 31.0);
#else
  vec3 c = vec3(mod(floor(word / 1024.0), 32.0), mod(floor(word / 32.0), 32.0), mod(word, 32.0)) / 31.0;
#endif
  gl_FragColor = vec4(c, 1.0);
#endif
}
)";

// One picture pixel per fragment from the three planes: the fragment's (x, y) is luma texel (x, y) (the Y
// texture holds the picture region only); its chroma sample is the one covering it, at the frame's own
// subsampling, nearest (no filtering between chroma samples, as the CPU converter does not filter). Colour
// terms are the CPU converter's table entries, worked out exactly: the factors as integer ratios, every
// value an integer held exactly in a float (all below 2^24), rounded to nearest with halves to even. Without
// full-precision floats that cannot be done, and the program is not built.
const char* const kPlanarFragmentShader = R"(
#if defined(GL_ES) && !defined(GL_FRAGMENT_PRECISION_HIGH)
#error planes need full-precision floats
#endif
uniform sampler2D u_y;
uniform sampler2D u_u;
uniform sampler2D u_v;
uniform vec2 u_ySize;
uniform vec2 u_chromaSize;
uniform vec2 u_origin;
uniform vec2 u_chromaOrigin;
uniform vec2 u_factor;
float Sample(sampler2D plane, vec2 texel, vec2 size) {
  return floor(texture2D(plane, (texel + 0.5) / size).r * 255.0 + 0.5);
}
// k * num / den rounded, halves to even. The division may be off by one; the remainder puts it right.
float Term(float k, float num, float den) {
  float t = k * num + den * 0.5;
  float r = floor(t / den);
  float rest = t - r * den;
  r += rest < 0.0 ? -1.0 : (rest >= den ? 1.0 : 0.0);
  rest = t - r * den;
  return rest == 0.0 && mod(r, 2.0) == 1.0 ? r - 1.0 : r;
}
void main() {
  vec2 p = floor(gl_FragCoord.xy);
  vec2 c = floor((p + u_origin) / u_factor) - u_chromaOrigin;
  float u = Sample(u_u, c, u_chromaSize) - 128.0;
  float v = Sample(u_v, c, u_chromaSize) - 128.0;
  float l = clamp(Term(Sample(u_y, p, u_ySize) - 16.0, 1067.0, 1000.0), 0.0, 255.0);
  float red = Term(v, 1402.0, 1000.0);
  float green = Term(u, 34414.0, 100000.0) + Term(v, 71414.0, 100000.0);
  float blue = Term(u, 1772.0, 1000.0);
  gl_FragColor = vec4(clamp(vec3(l + red, l - green, l + blue), 0.0, 255.0) / 255.0, 1.0);
}
)";

std::unique_ptr<QOpenGLShaderProgram> BuildProgram(const QByteArray& vertex, const QByteArray& fragment) {
  auto program = std::make_unique<QOpenGLShaderProgram>();
  if (!program->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) ||
      !program->addShaderFromSourceCode(QOpenGLShader::Fragment, QByteArray(kPrecision) + fragment))
    return nullptr;
  program->bindAttributeLocation("a_position", kPosition);
  program->bindAttributeLocation("a_diffuse", kDiffuse);
  program->bindAttributeLocation("a_texcoord", kTexCoord);
  if (!program->link()) return nullptr;
  return program;
}

// The chroma planes' texels under a picture's luma range [first, first + count): first chroma sample and
// how many.
std::pair<int, int> ChromaSpan(int first, int count, int factor) {
  const int begin = first / factor;
  return {begin, (first + count - 1) / factor - begin + 1};
}

}  // namespace

tPlaneLayout PlaneLayout(const yuv_buffer& frame) {
  tPlaneLayout layout;
  if (!frame.y || !frame.u || !frame.v || frame.y_width <= 0 || frame.y_height <= 0 || frame.uv_width <= 0 ||
      frame.uv_height <= 0)
    return layout;
  layout.FactorX = frame.uv_width >= frame.y_width ? 1 : 2;
  layout.FactorY = frame.uv_height >= frame.y_height ? 1 : 2;
  const int width = std::min(frame.y_width, layout.FactorX * frame.uv_width);
  const int height = std::min(frame.y_height, layout.FactorY * frame.uv_height);
  // A row must fit its stride, or reading it would run into the next one (or beyond the last).
  const int64_t chromaWidth = (width + layout.FactorX - 1) / layout.FactorX;
  if (std::abs(int64_t{frame.y_stride}) < width || std::abs(int64_t{frame.uv_stride}) < chromaWidth)
    return {};
  layout.Covered = QRect(0, 0, width, height);
  return layout;
}

std::array<uint16_t, 2 * kGridIndices> GridIndexStrips() {
  constexpr std::array<uint16_t, kGridIndices> strip = {0, 4,  1, 5,  2,  6, 3, 7,  7, 4,  4,  8,  5,  9,
                                                        6, 10, 7, 11, 11, 8, 8, 12, 9, 13, 10, 14, 11, 15};
  std::array<uint16_t, 2 * kGridIndices> strips{};
  for (int i = 0; i < kGridIndices; ++i) {
    strips[i] = strip[i];
    strips[kGridIndices + i] = static_cast<uint16_t>(strip[i] + kGridVertices);
  }
  return strips;
}

const std::array<tTexturePacking, 2> kFrameTexturePackings = {{
    {"A8R8G8B8", 16, 8, 0, 24, 0, 0, 0, 0, 4, kBGRA, GL_UNSIGNED_BYTE, true},
    {"A8B8G8R8", 0, 8, 16, 24, 0, 0, 0, 0, 4, GL_RGBA, GL_UNSIGNED_BYTE, false},
}};

void PackTexture(const QImage& bitmap, uint8_t* bits, int pitch, const tTexturePacking& entry) {
  const QImage pixels = bitmap.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < pixels.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int x = 0; x < pixels.width(); ++x) {
      const uint32_t value = static_cast<uint32_t>(qRed(row[x]) >> entry.RLoss) << entry.RShift |
                             static_cast<uint32_t>(qGreen(row[x]) >> entry.GLoss) << entry.GShift |
                             static_cast<uint32_t>(qBlue(row[x]) >> entry.BLoss) << entry.BShift |
                             static_cast<uint32_t>(qAlpha(row[x]) >> entry.ALoss) << entry.AShift;
      uint8_t* at = bits + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * entry.Bytes;
      for (int b = 0; b < entry.Bytes; ++b) at[b] = static_cast<uint8_t>(value >> (8 * b));
    }
  }
}

tGLScene::tGLScene() = default;

tGLScene::~tGLScene() = default;

bool tGLScene::Create(const QImage& noise, const QImage& frameBitmap) {
  Release();
  initializeOpenGLFunctions();
  while (glGetError() != GL_NO_ERROR) {
  }

  glGenBuffers(1, &VertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, VertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof(tGridVertices), nullptr, GL_DYNAMIC_DRAW);
  glGenBuffers(1, &QuadBuffer);
  glGenBuffers(1, &IndexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, IndexBuffer);
  const auto strips = GridIndexStrips();
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(strips), strips.data(), GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  GridProgram = BuildProgram(kGridVertexShader, kGridFragmentShader);
  StretchProgram = BuildProgram(kStretchVertexShader, kStretchFragmentShader);
  if (glGetError() != GL_NO_ERROR || !GridProgram || !StretchProgram) {
    Release();
    return false;
  }

  // The grain: the noise picture at one texel per pixel, tiled (wrap) and never filtered.
  const QImage grain = noise.convertToFormat(QImage::Format_RGB32);
  GrainTexture = MakeTexture(GL_NEAREST, GL_REPEAT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  // Grey noise: the bytes B, G, R read as R, G, B are the same picture.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, grain.width(), grain.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
               grain.constBits());
  if (grain.isNull() || glGetError() != GL_NO_ERROR) {
    Release();
    return false;
  }

  // The frame: its 64 x 56 corner in the top rows of a 64 x 64 texture. Without one the scene draws no frame.
  const bool es = QOpenGLContext::currentContext()->isOpenGLES();
  if (frameBitmap.size() == QSize(kFrameTextureSize, kFrameRows)) {
    for (const tTexturePacking& entry : kFrameTexturePackings) {
      if (entry.DesktopOnly && es) continue;
      std::vector<uint8_t> texels(static_cast<size_t>(kFrameTextureSize) * kFrameTextureSize * entry.Bytes,
                                  0);
      PackTexture(frameBitmap, texels.data(), kFrameTextureSize * entry.Bytes, entry);
      FrameTexture = MakeTexture(GL_NEAREST, GL_CLAMP_TO_EDGE);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kFrameTextureSize, kFrameTextureSize, 0, entry.Format,
                   entry.Type, texels.data());
      if (glGetError() == GL_NO_ERROR) {
        FramePacking = entry.Name;
        break;
      }
      DeleteTexture(FrameTexture);
    }
  }
  glBindTexture(GL_TEXTURE_2D, 0);

  // Single-channel planes: red textures where the context has them, luminance (which samples as grey, red
  // included) where it has not. A core profile always has the red ones.
  const QOpenGLContext* context = QOpenGLContext::currentContext();
  const int major = context->format().majorVersion();
  const bool red = es ? major >= 3 : major >= 3 || context->hasExtension("GL_ARB_texture_rg");
  Planes.InternalFormat = red ? kR8 : GL_LUMINANCE;
  Planes.Format = red ? kRed : GL_LUMINANCE;
  Planes.RowLength = !es || major >= 3 || context->hasExtension("GL_EXT_unpack_subimage");
  Ready = true;
  return true;
}

GLuint tGLScene::MakeTexture(GLint filter, GLint wrap) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  return texture;
}

void tGLScene::DeleteTexture(GLuint& texture) {
  if (texture) glDeleteTextures(1, &texture);
  texture = 0;
}

void tGLScene::ReleasePicture() {
  if (!Ready && !PictureTexture && !SurfaceTexture && !PlaneTextures[0]) return;
  if (PictureFramebuffer) glDeleteFramebuffers(1, &PictureFramebuffer);
  PictureFramebuffer = 0;
  DeleteTexture(PictureTexture);
  DeleteTexture(SurfaceTexture);
  for (int i = 0; i < 3; ++i) {
    DeleteTexture(PlaneTextures[i]);
    PlaneTexels[i] = QSize();
  }
  SurfaceTexels = PictureSize = QSize();
}

void tGLScene::Release() {
  if (!VertexBuffer && !GrainTexture && !GridProgram) return;  // nothing made (functions not resolved yet)
  ReleasePicture();
  DeleteTexture(GrainTexture);
  DeleteTexture(FrameTexture);
  for (GLuint* buffer : {&VertexBuffer, &IndexBuffer, &QuadBuffer}) {
    if (*buffer) glDeleteBuffers(1, buffer);
    *buffer = 0;
  }
  GridProgram.reset();
  StretchProgram.reset();
  UnpackPrograms.clear();
  FramePacking = "";
  Ready = false;
}

QOpenGLShaderProgram* tGLScene::UnpackProgram(int32_t mode) {
  auto found = UnpackPrograms.find(mode);
  if (found != UnpackPrograms.end()) return found->second.get();
  std::unique_ptr<QOpenGLShaderProgram> program;
  if (mode == PlanarYUV) {
    program = BuildProgram(kUnpackVertexShader, kPlanarFragmentShader);
  } else if (mode >= RGB555 && BytesPerPixel(mode) > 0) {
    program = BuildProgram(kUnpackVertexShader,
                           "#define MODE " + QByteArray::number(mode) + "\n" + kUnpackFragmentShader);
  }
  return UnpackPrograms.emplace(mode, std::move(program)).first->second.get();
}

bool tGLScene::UploadSurface(int32_t mode, int width, int height, int pitch, const uint8_t* bits,
                             const QRect& source) {
  QOpenGLShaderProgram* program = Ready ? UnpackProgram(mode) : nullptr;
  if (!program || width <= 0 || height <= 0 || pitch % 4 || source.isEmpty()) return false;

  const QSize texels(pitch / 4, height);
  if (!SurfaceTexture) SurfaceTexture = MakeTexture(GL_NEAREST, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, SurfaceTexture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (texels != SurfaceTexels) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texels.width(), texels.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 bits);
    SurfaceTexels = texels;
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texels.width(), texels.height(), GL_RGBA, GL_UNSIGNED_BYTE, bits);
  }

  GLint target = 0;
  const bool complete = BindPicture(source.size(), target);
  if (complete) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, SurfaceTexture);
    program->bind();
    program->setUniformValue("u_surface", 0);
    program->setUniformValue("u_texels", QVector2D(texels.width(), texels.height()));
    program->setUniformValue("u_origin", QVector2D(source.x(), source.y()));
    FillPicture(*program, source.size(), target);
  }
  return complete;
}

bool tGLScene::BindPicture(const QSize& size, GLint& target) {
  if (!PictureTexture || PictureSize != size) {
    // Filtered as HighQuality says when drawn.
    if (!PictureTexture) PictureTexture = MakeTexture(GL_LINEAR, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, PictureTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size.width(), size.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    PictureSize = size;
    if (!PictureFramebuffer) glGenFramebuffers(1, &PictureFramebuffer);
  }
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &target);
  glBindFramebuffer(GL_FRAMEBUFFER, PictureFramebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, PictureTexture, 0);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
  glBindTexture(GL_TEXTURE_2D, 0);
  ReleasePicture();
  return false;
}

void tGLScene::FillPicture(QOpenGLShaderProgram& program, const QSize& size, GLint target) {
  glViewport(0, 0, size.width(), size.height());
  glDisable(GL_BLEND);
  const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  glBindBuffer(GL_ARRAY_BUFFER, QuadBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STREAM_DRAW);
  glEnableVertexAttribArray(kPosition);
  glVertexAttribPointer(kPosition, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisableVertexAttribArray(kPosition);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  program.release();
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void tGLScene::UploadPlane(GLuint& texture, QSize& texels, const uint8_t* bits, int stride, int columns,
                           int rows) {
  if (!texture) texture = MakeTexture(GL_NEAREST, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, texture);
  if (texels != QSize(columns, rows)) {
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(Planes.InternalFormat), columns, rows, 0, Planes.Format,
                 GL_UNSIGNED_BYTE, nullptr);
    texels = QSize(columns, rows);
  }
  if (stride == columns) {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, columns, rows, Planes.Format, GL_UNSIGNED_BYTE, bits);
  } else if (stride > 0 && Planes.RowLength) {
    glPixelStorei(kUnpackRowLength, stride);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, columns, rows, Planes.Format, GL_UNSIGNED_BYTE, bits);
    glPixelStorei(kUnpackRowLength, 0);
  } else {
    // Padded rows without a row length, or a bottom-up plane (negative stride): row by row, top first.
    for (int row = 0; row < rows; ++row)
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, columns, 1, Planes.Format, GL_UNSIGNED_BYTE,
                      bits + static_cast<ptrdiff_t>(row) * stride);
  }
}

bool tGLScene::UploadPlanes(const yuv_buffer& frame, const QRect& source) {
  QOpenGLShaderProgram* program = Ready ? UnpackProgram(PlanarYUV) : nullptr;
  const tPlaneLayout layout = PlaneLayout(frame);
  if (!program || source.isEmpty() || !layout.Covered.contains(source)) return false;
  while (glGetError() != GL_NO_ERROR) {
  }

  // The picture region of each plane: luma exactly, chroma every sample any of its luma samples uses.
  const auto [chromaX, chromaWidth] = ChromaSpan(source.x(), source.width(), layout.FactorX);
  const auto [chromaY, chromaHeight] = ChromaSpan(source.y(), source.height(), layout.FactorY);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  UploadPlane(PlaneTextures[0], PlaneTexels[0],
              frame.y + static_cast<ptrdiff_t>(source.y()) * frame.y_stride + source.x(), frame.y_stride,
              source.width(), source.height());
  const ptrdiff_t chromaOffset = static_cast<ptrdiff_t>(chromaY) * frame.uv_stride + chromaX;
  UploadPlane(PlaneTextures[1], PlaneTexels[1], frame.u + chromaOffset, frame.uv_stride, chromaWidth,
              chromaHeight);
  UploadPlane(PlaneTextures[2], PlaneTexels[2], frame.v + chromaOffset, frame.uv_stride, chromaWidth,
              chromaHeight);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  if (glGetError() != GL_NO_ERROR) {
    ReleasePicture();
    return false;
  }

  GLint target = 0;
  if (!BindPicture(source.size(), target)) return false;
  for (GLuint unit = 0; unit < 3; ++unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, PlaneTextures[unit]);
  }
  program->bind();
  program->setUniformValue("u_y", 0);
  program->setUniformValue("u_u", 1);
  program->setUniformValue("u_v", 2);
  program->setUniformValue("u_ySize", QVector2D(source.width(), source.height()));
  program->setUniformValue("u_chromaSize", QVector2D(chromaWidth, chromaHeight));
  program->setUniformValue("u_origin", QVector2D(source.x(), source.y()));
  program->setUniformValue("u_chromaOrigin", QVector2D(chromaX, chromaY));
  program->setUniformValue("u_factor", QVector2D(layout.FactorX, layout.FactorY));
  FillPicture(*program, source.size(), target);
  for (GLuint unit = 1; unit < 3; ++unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  glActiveTexture(GL_TEXTURE0);
  return glGetError() == GL_NO_ERROR;
}

void tGLScene::UploadVertices(const tGridVertices& vertices) {
  if (!Ready) return;
  glBindBuffer(GL_ARRAY_BUFFER, VertexBuffer);
  glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(vertices), vertices.data());
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void tGLScene::DrawGrid(GLint firstIndex, GLsizei count) {
  glDrawElements(GL_TRIANGLE_STRIP, count, GL_UNSIGNED_SHORT,
                 reinterpret_cast<const void*>(static_cast<uintptr_t>(firstIndex) * sizeof(uint16_t)));
}

void tGLScene::Draw(const tSceneState& state, qreal devicePixelRatio) {
  if (!Ready) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    return;
  }
  const QVector2D panel(state.Panel.width(), state.Panel.height());
  glViewport(0, 0, qRound(panel.x() * devicePixelRatio), qRound(panel.y() * devicePixelRatio));
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glActiveTexture(GL_TEXTURE0);

  const bool shown = PictureTexture != 0;
  if (shown) {
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, PictureTexture);
    const GLint filter = state.HighQuality ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    const QRect& r = state.VideoRect;
    const GLfloat left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    const GLfloat quad[] = {left, top, 0, 0, right, top, 1, 0, left, bottom, 0, 1, right, bottom, 1, 1};
    StretchProgram->bind();
    StretchProgram->setUniformValue("u_panel", panel);
    StretchProgram->setUniformValue("u_picture", 0);
    glBindBuffer(GL_ARRAY_BUFFER, QuadBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STREAM_DRAW);
    glEnableVertexAttribArray(kPosition);
    glEnableVertexAttribArray(kTexCoord);
    glVertexAttribPointer(kPosition, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat), nullptr);
    glVertexAttribPointer(kTexCoord, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat),
                          reinterpret_cast<const void*>(2 * sizeof(GLfloat)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    StretchProgram->release();
  }

  // Source alpha over the picture; the framebuffer's own alpha stays opaque.
  glEnable(GL_BLEND);
  glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
  GridProgram->bind();
  GridProgram->setUniformValue("u_panel", panel);
  GridProgram->setUniformValue("u_texture", 0);
  glBindBuffer(GL_ARRAY_BUFFER, VertexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, IndexBuffer);
  glEnableVertexAttribArray(kPosition);
  glEnableVertexAttribArray(kDiffuse);
  glEnableVertexAttribArray(kTexCoord);
  glVertexAttribPointer(kPosition, 4, GL_FLOAT, GL_FALSE, sizeof(tGridVertex), nullptr);
  glVertexAttribPointer(kDiffuse, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(tGridVertex),
                        reinterpret_cast<const void*>(offsetof(tGridVertex, Diffuse)));
  glVertexAttribPointer(kTexCoord, 2, GL_FLOAT, GL_FALSE, sizeof(tGridVertex),
                        reinterpret_cast<const void*>(offsetof(tGridVertex, U)));
  if (shown && state.Grain) {
    glBindTexture(GL_TEXTURE_2D, GrainTexture);
    GridProgram->setUniformValue("u_textureAlpha", 0.0f);
    DrawGrid(0, kGridIndices);
  }
  if (state.Frame && FrameTexture) {
    glBindTexture(GL_TEXTURE_2D, FrameTexture);
    if (shown) {
      // Over a picture the centre cell stays out: two strips of 12 triangles round it.
      GridProgram->setUniformValue("u_textureAlpha", 1.0f);
      DrawGrid(kGridIndices, 14);
      DrawGrid(kGridIndices + 14, 14);
    } else {
      // Without one the whole grid is drawn opaque; its centre shows the artwork's inner texel.
      GridProgram->setUniformValue("u_textureAlpha", 0.0f);
      DrawGrid(kGridIndices, kGridIndices);
    }
  }
  GridProgram->release();
  for (GLuint slot : {kPosition, kDiffuse, kTexCoord}) glDisableVertexAttribArray(slot);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_BLEND);
}

}  // namespace ktv
