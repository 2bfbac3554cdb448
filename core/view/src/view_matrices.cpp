#include "orrelin/view/view_matrices.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "orrelin/base/contract.h"

// Every expression below keeps the operand order and the precision of the
// library step it stands for: float where Mesa or GLU compute in float,
// double where they compute in double, sums from left to right. The build
// never fuses a multiply and an add (-ffp-contract=off), so each operation
// rounds as it does in those libraries.

namespace {

using Matrix4f = std::array<float, 16>;

constexpr Matrix4f kIdentityFloat{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// ---- Mesa's matrix stack: single precision, column after column ----

// glMultMatrixf: current = current * m. A factor equal to the identity, bit
// for bit, is skipped; otherwise each entry of the product is the sum of four
// float products, from left to right, as Mesa's 4x4 product computes it.
void glMultiply(Matrix4f& current, const Matrix4f& m) {
    if (std::memcmp(m.data(), kIdentityFloat.data(), sizeof(Matrix4f)) == 0) return;
    const Matrix4f a = current;
    for (int i = 0; i < 4; ++i) {
        const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
        for (int j = 0; j < 4; ++j) {
            current[4 * j + i] = ai0 * m[4 * j] + ai1 * m[4 * j + 1] + ai2 * m[4 * j + 2] + ai3 * m[4 * j + 3];
        }
    }
}

// glMultMatrixd: each entry rounded to float first.
void glMultiply(Matrix4f& current, const Matrix4d& m) {
    Matrix4f f{};
    for (int i = 0; i < 16; ++i) f[i] = static_cast<float>(m[i]);
    glMultiply(current, f);
}

// glTranslated: the offsets rounded to float, then Mesa's in-place translation.
void glTranslate(Matrix4f& m, double dx, double dy, double dz) {
    const float x = static_cast<float>(dx), y = static_cast<float>(dy), z = static_cast<float>(dz);
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

// ---- GLU's projection and view: gluPerspective in double, gluLookAt in float ----

// gluPerspective(60, aspect, zNear, zFar) on the current matrix. Nothing is
// multiplied when far equals near or the aspect is 0, as in GLU.
void gluPerspective60(Matrix4f& current, double aspect, double zNear, double zFar) {
    const double deltaZ = zFar - zNear;
    if (deltaZ == 0 || kHalfFieldOfViewSine == 0 || aspect == 0) return;
    const double cotangent = kHalfFieldOfViewCosine / kHalfFieldOfViewSine;
    Matrix4d m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    m[15] = 0;
    glMultiply(current, m);
}

// Length in float, its square root taken in double; a zero vector stays as it is.
void normalizeFloat(float v[3]) {
    const float r = static_cast<float>(std::sqrt(static_cast<double>(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])));
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

void crossFloat(const float a[3], const float b[3], float result[3]) {
    result[0] = a[1] * b[2] - a[2] * b[1];
    result[1] = a[2] * b[0] - a[0] * b[2];
    result[2] = a[0] * b[1] - a[1] * b[0];
}

// gluLookAt on the current matrix. The differences are taken in double and
// rounded to float; the basis is built in float and multiplied as floats,
// then the translation by minus the eye follows.
void gluLookAt(Matrix4f& current, const double eye[3], const double center[3], const double upVector[3]) {
    float forward[3] = {static_cast<float>(center[0] - eye[0]), static_cast<float>(center[1] - eye[1]),
                        static_cast<float>(center[2] - eye[2])};
    float up[3] = {static_cast<float>(upVector[0]), static_cast<float>(upVector[1]), static_cast<float>(upVector[2])};
    float side[3];
    normalizeFloat(forward);
    crossFloat(forward, up, side);
    normalizeFloat(side);
    crossFloat(side, forward, up);

    Matrix4f m = kIdentityFloat;
    m[0] = side[0];
    m[4] = side[1];
    m[8] = side[2];
    m[1] = up[0];
    m[5] = up[1];
    m[9] = up[2];
    m[2] = -forward[0];
    m[6] = -forward[1];
    m[10] = -forward[2];
    glMultiply(current, m);
    glTranslate(current, -eye[0], -eye[1], -eye[2]);
}

Matrix4d widened(const Matrix4f& m) {
    Matrix4d d{};
    for (int i = 0; i < 16; ++i) d[i] = static_cast<double>(m[i]);
    return d;
}

// ---- gluUnProject's double-precision steps ----

// r = b * a in column order, written as GLU writes it: r[i*4+j] is row i of
// `a` against column j of `b`, summed from left to right.
Matrix4d multiplyMatrices(const Matrix4d& a, const Matrix4d& b) {
    Matrix4d r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r[i * 4 + j] = a[i * 4 + 0] * b[0 * 4 + j] + a[i * 4 + 1] * b[1 * 4 + j] + a[i * 4 + 2] * b[2 * 4 + j] +
                           a[i * 4 + 3] * b[3 * 4 + j];
        }
    }
    return r;
}

void multiplyMatrixVector(const Matrix4d& m, const double in[4], double out[4]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = in[0] * m[0 * 4 + i] + in[1] * m[1 * 4 + i] + in[2] * m[2 * 4 + i] + in[3] * m[3 * 4 + i];
    }
}

// The inverse by cofactors, each cofactor the signed sum of six triple
// products in the order GLU adds them, then scaled by 1 / determinant. False
// when the determinant is exactly 0.
bool invertMatrix(const Matrix4d& m, Matrix4d& out) {
    Matrix4d inv{};
    // clang-format off
    inv[0] =   m[5]*m[10]*m[15] - m[5]*m[11]*m[14] - m[9]*m[6]*m[15]
             + m[9]*m[7]*m[14] + m[13]*m[6]*m[11] - m[13]*m[7]*m[10];
    inv[4] =  -m[4]*m[10]*m[15] + m[4]*m[11]*m[14] + m[8]*m[6]*m[15]
             - m[8]*m[7]*m[14] - m[12]*m[6]*m[11] + m[12]*m[7]*m[10];
    inv[8] =   m[4]*m[9]*m[15] - m[4]*m[11]*m[13] - m[8]*m[5]*m[15]
             + m[8]*m[7]*m[13] + m[12]*m[5]*m[11] - m[12]*m[7]*m[9];
    inv[12] = -m[4]*m[9]*m[14] + m[4]*m[10]*m[13] + m[8]*m[5]*m[14]
             - m[8]*m[6]*m[13] - m[12]*m[5]*m[10] + m[12]*m[6]*m[9];
    inv[1] =  -m[1]*m[10]*m[15] + m[1]*m[11]*m[14] + m[9]*m[2]*m[15]
             - m[9]*m[3]*m[14] - m[13]*m[2]*m[11] + m[13]*m[3]*m[10];
    inv[5] =   m[0]*m[10]*m[15] - m[0]*m[11]*m[14] - m[8]*m[2]*m[15]
             + m[8]*m[3]*m[14] + m[12]*m[2]*m[11] - m[12]*m[3]*m[10];
    inv[9] =  -m[0]*m[9]*m[15] + m[0]*m[11]*m[13] + m[8]*m[1]*m[15]
             - m[8]*m[3]*m[13] - m[12]*m[1]*m[11] + m[12]*m[3]*m[9];
    inv[13] =  m[0]*m[9]*m[14] - m[0]*m[10]*m[13] - m[8]*m[1]*m[14]
             + m[8]*m[2]*m[13] + m[12]*m[1]*m[10] - m[12]*m[2]*m[9];
    inv[2] =   m[1]*m[6]*m[15] - m[1]*m[7]*m[14] - m[5]*m[2]*m[15]
             + m[5]*m[3]*m[14] + m[13]*m[2]*m[7] - m[13]*m[3]*m[6];
    inv[6] =  -m[0]*m[6]*m[15] + m[0]*m[7]*m[14] + m[4]*m[2]*m[15]
             - m[4]*m[3]*m[14] - m[12]*m[2]*m[7] + m[12]*m[3]*m[6];
    inv[10] =  m[0]*m[5]*m[15] - m[0]*m[7]*m[13] - m[4]*m[1]*m[15]
             + m[4]*m[3]*m[13] + m[12]*m[1]*m[7] - m[12]*m[3]*m[5];
    inv[14] = -m[0]*m[5]*m[14] + m[0]*m[6]*m[13] + m[4]*m[1]*m[14]
             - m[4]*m[2]*m[13] - m[12]*m[1]*m[6] + m[12]*m[2]*m[5];
    inv[3] =  -m[1]*m[6]*m[11] + m[1]*m[7]*m[10] + m[5]*m[2]*m[11]
             - m[5]*m[3]*m[10] - m[9]*m[2]*m[7] + m[9]*m[3]*m[6];
    inv[7] =   m[0]*m[6]*m[11] - m[0]*m[7]*m[10] - m[4]*m[2]*m[11]
             + m[4]*m[3]*m[10] + m[8]*m[2]*m[7] - m[8]*m[3]*m[6];
    inv[11] = -m[0]*m[5]*m[11] + m[0]*m[7]*m[9] + m[4]*m[1]*m[11]
             - m[4]*m[3]*m[9] - m[8]*m[1]*m[7] + m[8]*m[3]*m[5];
    inv[15] =  m[0]*m[5]*m[10] - m[0]*m[6]*m[9] - m[4]*m[1]*m[10]
             + m[4]*m[2]*m[9] + m[8]*m[1]*m[6] - m[8]*m[2]*m[5];
    // clang-format on
    double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0) return false;
    det = 1.0 / det;
    for (int i = 0; i < 16; ++i) out[i] = inv[i] * det;
    return true;
}

[[maybe_unused]] bool fitsInt(std::int64_t v) {
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

}  // namespace

ViewMatrices viewMatrices(int width, int height, float sceneExtent, Vec3f eye) {
    ORRELIN_REQUIRE(width >= 0 && height >= 0);
    ViewMatrices out;

    // updateProjection: identity, then the perspective with the aspect and the
    // far distance as the desktop rounds them to float.
    const float aspect = aspectRatio(width, height);
    const float farDistance = sceneExtent * 5.0f;
    Matrix4f projection = kIdentityFloat;
    gluPerspective60(projection, static_cast<double>(aspect), 1.0, static_cast<double>(farDistance));
    out.projection = widened(projection);

    // loadView: identity, then the look from the eye to the point below it, y up.
    const double eyeD[3] = {static_cast<double>(eye.x), static_cast<double>(eye.y), static_cast<double>(eye.z)};
    const double center[3] = {eyeD[0], eyeD[1], 0.0};
    const double up[3] = {0.0, 1.0, 0.0};
    Matrix4f modelView = kIdentityFloat;
    gluLookAt(modelView, eyeD, center, up);
    out.modelView = widened(modelView);
    return out;
}

bool unprojectPoint(const ViewMatrices& matrices, const Viewport& viewport, double winX, double winY, double winZ,
                    double object[3]) {
    ORRELIN_REQUIRE(viewport[2] >= 0 && viewport[3] >= 0);
    Matrix4d finalMatrix = multiplyMatrices(matrices.modelView, matrices.projection);
    if (!invertMatrix(finalMatrix, finalMatrix)) return false;

    double in[4] = {winX, winY, winZ, 1.0};
    // Window to 0..1, then to -1..1.
    in[0] = (in[0] - static_cast<double>(viewport[0])) / static_cast<double>(viewport[2]);
    in[1] = (in[1] - static_cast<double>(viewport[1])) / static_cast<double>(viewport[3]);
    in[0] = in[0] * 2 - 1;
    in[1] = in[1] * 2 - 1;
    in[2] = in[2] * 2 - 1;

    double out[4];
    multiplyMatrixVector(finalMatrix, in, out);
    if (out[3] == 0.0) return false;
    object[0] = out[0] / out[3];
    object[1] = out[1] / out[3];
    object[2] = out[2] / out[3];
    return true;
}

Point2 pixelToPlane(const ViewMatrices& matrices, const Viewport& viewport, int x, int y, bool& ok) {
    ORRELIN_REQUIRE(viewport[2] >= 0 && viewport[3] >= 0);
    ORRELIN_REQUIRE(fitsInt(std::int64_t{viewport[1]} + viewport[3]) &&
                    fitsInt(std::int64_t{viewport[1]} + viewport[3] - y));
    // Window rows count upward in GL: the flip is done in int, then widened.
    const double wx = static_cast<double>(x);
    const double wy = static_cast<double>(viewport[1] + viewport[3] - y);
    double nearPoint[3];
    double farPoint[3];
    const bool nearOk = unprojectPoint(matrices, viewport, wx, wy, 0.0, nearPoint);
    const bool farOk = unprojectPoint(matrices, viewport, wx, wy, 1.0, farPoint);
    if (!nearOk || !farOk) {
        ok = false;
        return Point2{};
    }
    return planeIntersection(nearPoint, farPoint, ok);
}
