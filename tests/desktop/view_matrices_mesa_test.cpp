// The core's matrices and pick against the real thing: the desktop's own
// updateProjection, loadView and unprojectToPlane on a Mesa context, and the
// system's GLU. Mesa's surfaceless EGL platform gives a GL context of the
// software renderer without a window or a display server.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app_state_reset.h"
#include "orrelin/desktop/camera_view.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/view/view_matrices.h"

namespace {

// Counts compared values, those equal to the bit, and the largest distance in
// units in the last place between two numbers that differ. Two NaNs of
// different bits are counted apart: which operand's NaN an operation passes
// on, and with which sign, is the compiler's choice, not the arithmetic's.
struct Tally {
    explicit Tally(const char* name) : what(name) {}

    const char* what;
    long cases = 0;
    long identical = 0;
    long otherNaNs = 0;
    std::uint64_t worstUlps = 0;
    std::vector<std::string> firstMismatches;

    template <typename T>
    void add(T expected, T actual, const std::string& where) {
        using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
        const Bits a = std::bit_cast<Bits>(expected), b = std::bit_cast<Bits>(actual);
        ++cases;
        if (a == b) {
            ++identical;
            return;
        }
        if (std::isnan(expected) && std::isnan(actual)) {
            ++otherNaNs;
            return;
        }
        std::uint64_t ulps = UINT64_MAX;
        if (!std::isnan(expected) && !std::isnan(actual)) {
            // Map the sign-magnitude patterns onto one ordered line.
            const Bits sign = Bits{1} << (sizeof(T) * 8 - 1);
            const auto ordered = [sign](Bits v) {
                return (v & sign) ? static_cast<std::int64_t>(sign - (v & ~sign)) - static_cast<std::int64_t>(sign)
                                  : static_cast<std::int64_t>(v);
            };
            const std::int64_t d = ordered(a) - ordered(b);
            ulps = static_cast<std::uint64_t>(d < 0 ? -d : d);
        }
        worstUlps = std::max(worstUlps, ulps);
        if (firstMismatches.size() < 5) {
            char buf[160];
            std::snprintf(buf, sizeof buf, " expected %a, got %a", static_cast<double>(expected),
                          static_cast<double>(actual));
            firstMismatches.push_back(where + buf);
        }
    }

    void addFlag(bool expected, bool actual, const std::string& where) {
        add(static_cast<float>(expected), static_cast<float>(actual), where);
    }

    void report() const {
        std::printf("%-31s %7ld cases, %7ld identical (%.4f%%), %ld NaNs of other bits, worst %llu ulps\n", what, cases,
                    identical, cases ? 100.0 * static_cast<double>(identical) / static_cast<double>(cases) : 100.0,
                    otherNaNs, static_cast<unsigned long long>(worstUlps));
        for (const std::string& m : firstMismatches) std::printf("  %s\n", m.c_str());
    }
};

#define EXPECT_ALL_AGREE(tally)                                                          \
    do {                                                                                 \
        (tally).report();                                                                \
        EXPECT_GT((tally).cases, 0);                                                     \
        EXPECT_EQ((tally).cases, (tally).identical + (tally).otherNaNs) << (tally).what; \
    } while (false)

class MesaContext : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        const auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) return;
        display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) return;
        if (!eglBindAPI(EGL_OPENGL_API)) return;
        context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
        if (context_ == EGL_NO_CONTEXT) return;
        current_ = eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    }

    static void TearDownTestSuite() {
        if (display_ == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        // The display is not terminated: that unloads Mesa's driver, and the
        // leak checker could then no longer tell the driver's own leftovers
        // (which it is told to ignore) from ours.
        display_ = EGL_NO_DISPLAY;
        context_ = EGL_NO_CONTEXT;
        current_ = false;
    }

    void SetUp() override {
        ASSERT_TRUE(current_) << "no GL context from Mesa's surfaceless EGL platform";
        resetAppState();
    }

    static inline EGLDisplay display_ = EGL_NO_DISPLAY;
    static inline EGLContext context_ = EGL_NO_CONTEXT;
    static inline bool current_ = false;
};

struct View {
    int width;
    int height;
    float extent;
    Vec3f eye;
};

// A float of random sign (when `signed`) and magnitude log-uniform over
// [10^lo, 10^hi], clamped to the finite floats.
float logUniform(std::mt19937_64& rng, double lo, double hi, bool withSign) {
    const double e = std::uniform_real_distribution<double>(lo, hi)(rng);
    float v = static_cast<float>(std::min(std::pow(10.0, e), static_cast<double>(FLT_MAX)));
    if (withSign && (rng() & 1)) v = -v;
    return v;
}

float randomExtent(std::mt19937_64& rng) {
    switch (rng() % 9) {
        case 0: return 0.0f;
        case 1: return 0.2f;                                       // far == near: GLU leaves the identity
        case 2: return 1e-3f * logUniform(rng, -0.3, 0.3, false);  // tiny
        case 3: return 1e30f * logUniform(rng, -0.3, 0.3, false);  // huge
        case 4: return logUniform(rng, 37.0, 38.53, false);        // five times it overflows
        case 5: {
            // Any finite non-negative float, subnormals included.
            const auto bits = static_cast<std::uint32_t>(rng() % 0x7f800000u);
            return std::bit_cast<float>(bits);
        }
        case 6: return logUniform(rng, -8.0, 12.0, false);
        default: return logUniform(rng, -1.0, 4.0, false);  // the usual meshes
    }
}

float randomCoordinate(std::mt19937_64& rng, float extent) {
    switch (rng() % 6) {
        case 0: return 0.0f;
        case 1: return logUniform(rng, -40.0, 38.5, true);  // anywhere, far from the origin too
        case 2: return logUniform(rng, 4.0, 9.0, true);
        default: return static_cast<float>(std::uniform_real_distribution<double>(-2.0, 2.0)(rng)) * extent;
    }
}

float randomHeight(std::mt19937_64& rng, float extent) {
    switch (rng() % 10) {
        case 0: return 0.0f;                                 // on the plane
        case 1: return -logUniform(rng, -3.0, 6.0, false);   // below it
        case 2: return logUniform(rng, -45.0, -20.0, true);  // its square is 0 in float
        case 3: return logUniform(rng, 18.0, 38.5, true);    // its square overflows
        case 4: return logUniform(rng, -3.0, 8.0, false);
        default: return extent * static_cast<float>(std::uniform_real_distribution<double>(0.01, 3.0)(rng));
    }
}

View randomView(std::mt19937_64& rng) {
    View v{};
    // Sizes over the whole range, odd ones as often as even, and the thin ones.
    switch (rng() % 4) {
        case 0:
            v.width = 1 + static_cast<int>(rng() % 8);
            v.height = 1 + static_cast<int>(rng() % 3000);
            break;
        case 1:
            v.width = 1 + static_cast<int>(rng() % 4000);
            v.height = 1 + static_cast<int>(rng() % 8);
            break;
        default:
            v.width = 1 + static_cast<int>(rng() % 4000);
            v.height = 1 + static_cast<int>(rng() % 3000);
            break;
    }
    v.extent = randomExtent(rng);
    v.eye = {randomCoordinate(rng, v.extent), randomCoordinate(rng, v.extent), randomHeight(rng, v.extent)};
    return v;
}

// Window pixels: the corners, the centre, just outside, random ones inside and
// around the window, and now and then one far outside.
std::vector<std::pair<int, int>> pixelsOf(const View& v, std::mt19937_64& rng) {
    const int w = v.width, h = v.height;
    std::vector<std::pair<int, int>> px = {{0, 0},         {w - 1, 0}, {0, h - 1}, {w - 1, h - 1},
                                           {w / 2, h / 2}, {w, h},     {-1, -1},   {w / 2, -1}};
    std::uniform_int_distribution<int> xs(-w / 2 - 1, w + w / 2), ys(-h / 2 - 1, h + h / 2);
    for (int k = 0; k < 8; ++k) px.emplace_back(xs(rng), ys(rng));
    std::uniform_int_distribution<int> far(-1000000, 1000000);
    px.emplace_back(far(rng), far(rng));
    return px;
}

std::string describe(const View& v) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%dx%d extent %a eye (%a, %a, %a)", v.width, v.height, static_cast<double>(v.extent),
                  static_cast<double>(v.eye.x), static_cast<double>(v.eye.y), static_cast<double>(v.eye.z));
    return buf;
}

TEST_F(MesaContext, MatricesUnprojectionAndPickMatchTheDesktopBitForBit) {
    std::mt19937_64 rng(0x0e11a5);
    Tally matrices{"matrices (glGetDoublev)"};
    Tally unprojected{"unprojection (gluUnProject)"};
    Tally unprojectOk{"unprojection success"};
    Tally picked{"plane point (unprojectToPlane)"};
    Tally pickOk{"pick success"};
    long picksFound = 0;
    constexpr int kViews = 12000;
    for (int n = 0; n < kViews; ++n) {
        const View v = randomView(rng);
        AppState.windowWidth = v.width;
        AppState.windowHeight = v.height;
        AppState.sceneExtent = v.extent;
        AppState.eye = v.eye;
        updateProjection();
        loadView();

        GLdouble glProjection[16];
        GLdouble glModelView[16];
        GLint glViewport[4];
        glGetDoublev(GL_PROJECTION_MATRIX, glProjection);
        glGetDoublev(GL_MODELVIEW_MATRIX, glModelView);
        glGetIntegerv(GL_VIEWPORT, glViewport);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        const Viewport viewport{0, 0, v.width, v.height};
        ASSERT_TRUE(std::equal(viewport.begin(), viewport.end(), glViewport)) << describe(v);

        const ViewMatrices mine = viewMatrices(v.width, v.height, v.extent, v.eye);
        for (int i = 0; i < 16; ++i) {
            matrices.add(glProjection[i], mine.projection[i], describe(v) + " projection[" + std::to_string(i) + "]");
            matrices.add(glModelView[i], mine.modelView[i], describe(v) + " modelView[" + std::to_string(i) + "]");
        }

        // gluUnProject against the core's, both on the matrices read from GL.
        ViewMatrices fromGl;
        std::copy(glProjection, glProjection + 16, fromGl.projection.begin());
        std::copy(glModelView, glModelView + 16, fromGl.modelView.begin());
        for (const auto& [x, y] : pixelsOf(v, rng)) {
            const double wx = x;
            const double wy = glViewport[1] + glViewport[3] - y;
            for (const double wz : {0.0, 1.0}) {
                double expected[3] = {0, 0, 0};
                double actual[3] = {0, 0, 0};
                const bool glu = gluUnProject(wx, wy, wz, glModelView, glProjection, glViewport, &expected[0],
                                              &expected[1], &expected[2]) == GL_TRUE;
                const bool core = unprojectPoint(fromGl, viewport, wx, wy, wz, actual);
                unprojectOk.addFlag(glu, core, describe(v));
                if (glu && core) {
                    for (int k = 0; k < 3; ++k) unprojected.add(expected[k], actual[k], describe(v));
                }
            }

            // The desktop's whole pick against the core's from the window size,
            // extent and eye alone.
            AppState.pickedPoint = {};
            const bool desktopOk = unprojectToPlane(x, y);
            bool coreOk = false;
            const Point2 p = pixelToPlane(mine, viewport, x, y, coreOk);
            pickOk.addFlag(desktopOk, coreOk, describe(v));
            if (desktopOk && coreOk) {
                ++picksFound;
                const std::string where = describe(v) + " pixel " + std::to_string(x) + "," + std::to_string(y);
                picked.add(AppState.pickedPoint.x, p.x, where);
                picked.add(AppState.pickedPoint.y, p.y, where);
            }
        }
    }
    std::printf("%d views, %ld pixels picked on the plane\n", kViews, picksFound);
    EXPECT_ALL_AGREE(matrices);
    EXPECT_ALL_AGREE(unprojectOk);
    EXPECT_ALL_AGREE(unprojected);
    EXPECT_ALL_AGREE(pickOk);
    EXPECT_ALL_AGREE(picked);
    // The random views must reach the usual picture, not only degenerate ones.
    EXPECT_GT(picksFound, kViews * 17 / 4);
}

// gluUnProject needs no context: general matrices of full double precision,
// viewports away from the origin, any window point.
TEST(GluUnProject, GeneralMatricesMatchBitForBit) {
    std::mt19937_64 rng(0x91c0);
    std::normal_distribution<double> entry(0.0, 1.0);
    std::uniform_int_distribution<int> origin(-2000, 2000), size(1, 5000);
    std::uniform_real_distribution<double> win(-6000.0, 6000.0), depth(-0.5, 1.5);
    Tally unprojected{"general unprojection"};
    Tally unprojectOk{"general unprojection success"};
    for (int n = 0; n < 40000; ++n) {
        ViewMatrices m;
        const double scale = std::pow(10.0, std::uniform_real_distribution<double>(-30, 30)(rng));
        for (double& e : m.projection) e = entry(rng) * scale;
        for (double& e : m.modelView) e = entry(rng);
        switch (n % 8) {
            case 0: std::fill(m.modelView.begin() + 4, m.modelView.begin() + 8, 0.0); break;  // singular
            case 1:
                m.projection[3] = m.projection[7] = m.projection[11] = 0.0;  // affine, w stays 1
                m.projection[15] = 1.0;
                break;
            default: break;
        }
        const Viewport vp{origin(rng), origin(rng), size(rng), size(rng)};
        const double wx = (n % 5 == 0) ? vp[0] + vp[2] / 2.0 : win(rng);
        const double wy = win(rng);
        const double wz = (n % 3 == 0) ? static_cast<double>(n % 2) : depth(rng);
        double expected[3] = {0, 0, 0};
        double actual[3] = {0, 0, 0};
        const bool glu = gluUnProject(wx, wy, wz, m.modelView.data(), m.projection.data(), vp.data(), &expected[0],
                                      &expected[1], &expected[2]) == GL_TRUE;
        const bool core = unprojectPoint(m, vp, wx, wy, wz, actual);
        unprojectOk.addFlag(glu, core, "matrix " + std::to_string(n));
        if (glu && core) {
            for (int k = 0; k < 3; ++k) unprojected.add(expected[k], actual[k], "matrix " + std::to_string(n));
        }
    }
    EXPECT_ALL_AGREE(unprojectOk);
    EXPECT_ALL_AGREE(unprojected);
    EXPECT_GT(unprojected.cases, 3 * 30000);  // all but the singular eighth give a point
}

// The two ways gluUnProject refuses: a singular product and a point at
// infinity (w = 0: here the product swaps x and w, and the window x is the
// viewport's middle).
TEST(GluUnProject, RefusalsAgree) {
    const Viewport vp{10, 20, 100, 50};
    ViewMatrices singular;
    singular.projection = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    singular.modelView = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    ViewMatrices swapXW = singular;
    swapXW.modelView = {0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    double glu[3] = {7, 7, 7};
    double core[3] = {7, 7, 7};
    for (const ViewMatrices* m : {&singular, &swapXW}) {
        EXPECT_EQ(GL_FALSE, gluUnProject(60, 30, 0.5, m->modelView.data(), m->projection.data(), vp.data(), &glu[0],
                                         &glu[1], &glu[2]));
        EXPECT_FALSE(unprojectPoint(*m, vp, 60, 30, 0.5, core));
        EXPECT_EQ(7.0, core[0]);
    }
    EXPECT_EQ(GL_TRUE, gluUnProject(61, 30, 0.5, swapXW.modelView.data(), swapXW.projection.data(), vp.data(), &glu[0],
                                    &glu[1], &glu[2]));
    EXPECT_TRUE(unprojectPoint(swapXW, vp, 61, 30, 0.5, core));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(std::bit_cast<std::uint64_t>(glu[k]), std::bit_cast<std::uint64_t>(core[k]));
}

}  // namespace
