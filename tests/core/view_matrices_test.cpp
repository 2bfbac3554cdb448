#include "orrelin/view/view_matrices.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>

#include "orrelin/base/contract.h"
#include "test_util.h"

namespace {

std::uint64_t doubleBits(double d) {
    return std::bit_cast<std::uint64_t>(d);
}

// Each entry against the float GL holds, to the bit (so -0 differs from 0).
void expectMatrix(const float (&expected)[16], const Matrix4d& actual, const char* name) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(doubleBits(static_cast<double>(expected[i])), doubleBits(actual[i])) << name << "[" << i << "]";
    }
}

constexpr Matrix4d kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

}  // namespace

TEST(ViewMatrices, HalfFieldOfViewConstantsAreCorrectlyRounded) {
    EXPECT_EQ(doubleBits(0x1.0c152382d7365p-1), doubleBits(kHalfFieldOfView));
    // Taken at run time: a constant argument would be folded by the compiler.
    volatile long double radians = kHalfFieldOfView;
    EXPECT_EQ(doubleBits(kHalfFieldOfViewSine), doubleBits(static_cast<double>(std::sin(radians))));
    EXPECT_EQ(doubleBits(kHalfFieldOfViewCosine), doubleBits(static_cast<double>(std::cos(radians))));
#ifdef __GLIBC__
    // What GLU computes with on the desktop.
    volatile double r = kHalfFieldOfView;
    EXPECT_EQ(doubleBits(kHalfFieldOfViewSine), doubleBits(std::sin(r)));
    EXPECT_EQ(doubleBits(kHalfFieldOfViewCosine), doubleBits(std::cos(r)));
#endif
}

// The values below were read with glGetDoublev from Mesa after the desktop's
// calls (gluPerspective, gluLookAt).
TEST(ViewMatrices, AsMesaHoldsThem) {
    const ViewMatrices above = viewMatrices(800, 600, 10.0f, {3.0f, -2.0f, 10.0f});
    const float aboveProjection[16] = {
        0x1.4c8dc2p+0f, 0, 0, 0, 0, 0x1.bb67aep+0f, 0, 0, 0, 0, -0x1.0a72fp+0f, -1.0f, 0, 0, -0x1.053978p+1f, 0};
    // Looking straight down the rotation is the identity, all zeros positive.
    const float aboveModelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -3.0f, 2.0f, -10.0f, 1};
    expectMatrix(aboveProjection, above.projection, "projection");
    expectMatrix(aboveModelView, above.modelView, "modelView");

    // From below the plane, looking up: x and z turn over.
    const ViewMatrices below = viewMatrices(1024, 767, 50.0f, {0.5f, 0.25f, -7.0f});
    const float belowProjection[16] = {
        0x1.4c1eeap+0f, 0, 0, 0, 0, 0x1.bb67aep+0f, 0, 0, 0, 0, -0x1.020e64p+0f, -1.0f, 0, 0, -0x1.010732p+1f, 0};
    const float belowModelView[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0.5f, -0.25f, -7.0f, 1};
    expectMatrix(belowProjection, below.projection, "projection");
    expectMatrix(belowModelView, below.modelView, "modelView");
}

TEST(ViewMatrices, DegenerateProjectionsAsGluLeavesThem) {
    // Far equals near (0.2f * 5 rounds to 1) or the aspect is 0 (a window of
    // width 0): GLU multiplies nothing, the projection stays the identity.
    for (const int width : {800, 0}) {
        const ViewMatrices m = viewMatrices(width, 600, width == 0 ? 10.0f : 0.2f, {3.0f, -2.0f, 10.0f});
        for (int i = 0; i < 16; ++i) EXPECT_EQ(doubleBits(kIdentity[i]), doubleBits(m.projection[i])) << i;
    }
    // Five times the extent overflows: the far plane is infinite, and the
    // depth terms are inf / inf.
    const ViewMatrices huge = viewMatrices(800, 600, 1e38f, {0.0f, 0.0f, 1e38f});
    EXPECT_TRUE(std::isnan(huge.projection[10]));
    EXPECT_TRUE(std::isnan(huge.projection[14]));
    EXPECT_EQ(doubleBits(0x1.bb67aep+0), doubleBits(huge.projection[5]));
    // An eye whose height squared overflows float: gluLookAt's basis is all
    // zeros, and so is the rotation.
    const ViewMatrices high = viewMatrices(3, 1, 1e30f, {1e6f, -2.5e7f, 1e29f});
    for (int i = 0; i < 15; ++i) EXPECT_EQ(0u, doubleBits(high.modelView[i])) << i;
    EXPECT_EQ(1.0, high.modelView[15]);
}

TEST(PixelToPlane, PointsUnderThePixels) {
    const ViewMatrices m = viewMatrices(800, 600, 10.0f, {3.0f, -2.0f, 10.0f});
    const Viewport vp{0, 0, 800, 600};
    bool ok = false;
    // The middle of the window is straight below the eye.
    Point2 p = pixelToPlane(m, vp, 400, 300, ok);
    ASSERT_TRUE(ok);
    EXPECT_FLOAT_BITS(3.0f, p.x);
    EXPECT_FLOAT_BITS(-2.0f, p.y);
    // The corners, as GLU's unprojection gives them (window y downward).
    p = pixelToPlane(m, vp, 0, 0, ok);
    ASSERT_TRUE(ok);
    EXPECT_FLOAT_BITS(-0x1.2cac18p+2f, p.x);
    EXPECT_FLOAT_BITS(0x1.e30224p+1f, p.y);
    p = pixelToPlane(m, vp, 799, 599, ok);
    ASSERT_TRUE(ok);
    EXPECT_FLOAT_BITS(0x1.55b864p+3f, p.x);
    EXPECT_FLOAT_BITS(-0x1.f045c2p+2f, p.y);
    // Near the geometry: half the height times tan 30 degrees from the eye.
    const double half = 10.0 * std::tan(kHalfFieldOfView);
    EXPECT_NEAR(-2.0 + half, static_cast<double>(pixelToPlane(m, vp, 400, 0, ok).y), 1e-4);
    EXPECT_NEAR(3.0 - half * 800 / 600, static_cast<double>(pixelToPlane(m, vp, 0, 300, ok).x), 1e-4);

    // Seen from below, the left of the window lies toward +x.
    const ViewMatrices below = viewMatrices(1024, 767, 50.0f, {0.5f, 0.25f, -7.0f});
    p = pixelToPlane(below, {0, 0, 1024, 767}, 0, 0, ok);
    ASSERT_TRUE(ok);
    EXPECT_FLOAT_BITS(0x1.7951f8p+2f, p.x);
    EXPECT_FLOAT_BITS(0x1.12a726p+2f, p.y);

    // The identity projection (far == near) shows a 2 x 2 square around the eye.
    const ViewMatrices flat = viewMatrices(800, 600, 0.2f, {3.0f, -2.0f, 10.0f});
    p = pixelToPlane(flat, vp, 0, 0, ok);
    ASSERT_TRUE(ok);
    EXPECT_FLOAT_BITS(2.0f, p.x);
    EXPECT_FLOAT_BITS(-1.0f, p.y);
}

TEST(PixelToPlane, NoPointWhereTheDesktopFindsNone) {
    const Viewport vp{0, 0, 800, 600};
    bool ok = true;
    // Extent 0: the depth rows of the projection are equal, no inverse.
    pixelToPlane(viewMatrices(800, 600, 0.0f, {0.0f, 0.0f, 1.0f}), vp, 10, 10, ok);
    EXPECT_FALSE(ok);
    ok = true;
    pixelToPlane(viewMatrices(800, 600, 10.0f, {1.0f, 1.0f, 0.0f}), vp, 10, 10, ok);  // eye on the plane
    EXPECT_FALSE(ok);
    ok = true;
    pixelToPlane(viewMatrices(800, 600, 1e30f, {0.0f, 0.0f, 1e30f}), vp, 10, 10, ok);  // height squared overflows
    EXPECT_FALSE(ok);
    ok = true;
    pixelToPlane(viewMatrices(800, 600, 1e38f, {0.0f, 0.0f, 1e3f}), vp, 10, 10, ok);  // infinite far plane
    EXPECT_FALSE(ok);
}

TEST(UnprojectPoint, WindowToObjectCoordinates) {
    ViewMatrices m{kIdentity, kIdentity};
    const Viewport vp{10, 20, 100, 50};
    double obj[3] = {7, 7, 7};
    ASSERT_TRUE(unprojectPoint(m, vp, 60, 45, 0.5, obj));  // the viewport's middle at mid depth
    EXPECT_EQ(0.0, obj[0]);
    EXPECT_EQ(0.0, obj[1]);
    EXPECT_EQ(0.0, obj[2]);
    ASSERT_TRUE(unprojectPoint(m, vp, 10, 70, 1.0, obj));  // top-left corner, far
    EXPECT_EQ(-1.0, obj[0]);
    EXPECT_EQ(1.0, obj[1]);
    EXPECT_EQ(1.0, obj[2]);
    m.projection[0] = 4.0;  // x scaled by 4 on the way to the window: a quarter on the way back
    m.modelView[12] = 3.0;  // then moved by 3
    ASSERT_TRUE(unprojectPoint(m, vp, 110, 45, 0.0, obj));
    EXPECT_EQ(-3.0 + 0.25, obj[0]);
    EXPECT_EQ(-1.0, obj[2]);

    // A singular product and a point at infinity (the product swaps x and w):
    // no result, and nothing written.
    m = {kIdentity, kIdentity};
    m.modelView[10] = 0.0;
    obj[0] = 7.0;
    EXPECT_FALSE(unprojectPoint(m, vp, 60, 45, 0.5, obj));
    m.modelView = {0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    EXPECT_FALSE(unprojectPoint(m, vp, 60, 45, 0.5, obj));
    EXPECT_EQ(7.0, obj[0]);
    EXPECT_TRUE(unprojectPoint(m, vp, 61, 45, 0.5, obj));
}

// Window pixels unprojected at depths 0 and 1 by GLU on the matrices read
// back from Mesa: the double results, before the plane rounds them to float.
TEST(UnprojectPoint, AsGluGivesThemForTheWindowsPixels) {
    struct Case {
        int view;
        int x, y;
        double depth;
        double expected[3];
    };
    const struct {
        int width, height;
        float extent;
        Vec3f eye;
    } views[] = {{800, 600, 10.0f, {3.0f, -2.0f, 10.0f}},
                 {1024, 767, 50.0f, {0.5f, 0.25f, -7.0f}},
                 {2999, 1, 1e-3f, {-1234.5f, 1e6f, 2e-3f}}};
    const Case cases[] = {
        {0, 0, 0, 0, {0x1.1d772e49662a8p+1, -0x1.6c32c5a6fcce3p+0, 0x1.2p+3}},
        {0, 0, 0, 1, {-0x1.1beb98c8b918cp+5, 0x1.ade1647b4e827p+4, -0x1.40000c4000628p+5}},
        {0, 799, 599, 0, {0x1.e249c1d439732p+1, -0x1.49a78d4a397c4p+1, 0x1.2p+3}},
        {0, 799, 599, 1, {0x1.4b26871f42dfbp+5, -0x1.ec574128f9c49p+4, -0x1.40000c4000628p+5}},
        {0, 123, 457, 0, {0x1.3bc3d00db5785p+1, -0x1.26acbdc639952p+1, 0x1.2p+3}},
        {0, 123, 457, 1, {-0x1.7a7838b9d7663p+4, -0x1.11b7a97df8725p+4, -0x1.40000c4000628p+5}},
        {1, 0, 0, 0, {0x1.455368c1ea0a4p+0, 0x1.a79a74b20663ap-1, -0x1.8p+2}},
        {1, 0, 0, 1, {0x1.8267758dd1041p+7, 0x1.212d3f88ecd9ep+7, 0x1.e600b6dc43238p+7}},
        {1, 1023, 766, 0, {-0x1.13c2fc362454fp-2, -0x1.4daa4290d902cp-2, -0x1.8p+2}},
        {1, 1023, 766, 1, {-0x1.7fa6c1d30a1b8p+7, -0x1.1f6c8bcd5308ap+7, 0x1.e600b6dc43238p+7}},
        {1, -40, 900, 0, {0x1.54bdecf110531p+0, -0x1.0e1eca8ef8ebp-1, -0x1.8p+2}},
        {1, -40, 900, 1, {0x1.a0838abce5586p+7, -0x1.844a9fffd685ep+7, 0x1.e600b6dc43238p+7}},
        {2, 1, 2, 0, {-0x1.7299f4dfecb5p+11, 0x1.e847c8931a3eep+19, -0x1.fef945e22c49cp-1}},
        {2, 1, 2, 1, {-0x1.36c9b3ba46e33p+10, 0x1.e847ffb90e212p+19, -0x1.89374d81d7dafp-9}},
        {2, 2998, 1, 0, {0x1.efcfa6ff65e38p+8, 0x1.e847ed865e117p+19, -0x1.fef945e22c49cp-1}},
        {2, 2998, 1, 1, {-0x1.32764c45b91ccp+10, 0x1.e847ffe85a0bp+19, -0x1.89374d81d7dafp-9}},
    };
    for (const Case& c : cases) {
        const auto& v = views[c.view];
        const ViewMatrices m = viewMatrices(v.width, v.height, v.extent, v.eye);
        double obj[3];
        ASSERT_TRUE(unprojectPoint(m, {0, 0, v.width, v.height}, c.x, v.height - c.y, c.depth, obj));
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(doubleBits(c.expected[k]), doubleBits(obj[k]))
                << "view " << c.view << " pixel " << c.x << "," << c.y << " depth " << c.depth << " [" << k << "]";
        }
    }
}

// Dense matrices, where the order of every sum shows: GLU's results for
// entries drawn from a fixed sequence (each k * 2^-52 - 1, exact).
TEST(UnprojectPoint, DenseMatricesAsGluGivesThem) {
    const double expected[8][3] = {
        {-0x1.1c1b14ae8cb8bp+2, -0x1.877666d48b262p+1, 0x1.dc8094425f846p-1},
        {0x1.41e40540ed4b5p-3, 0x1.2f52f73c5c371p+0, 0x1.a3b809b8c0d34p-2},
        {-0x1.712e620913c39p+3, 0x1.321b9d370d921p+1, -0x1.cce54074d947ap+6},
        {0x1.8ca6c8fea8088p-1, -0x1.13301d3568bcap+1, 0x1.7d1f0b44c0d8cp+1},
        {-0x1.d2718965e0334p+0, 0x1.2b058f026bca1p+0, 0x1.d3ad12273fedp-1},
        {0x1.2a8212b23a241p+0, -0x1.443a26c3092f1p+1, 0x1.ccc9c87fcbfbbp-2},
        {-0x1.11c5e48431e27p+0, 0x1.355f80158f891p+0, 0x1.203f1fe5bd57bp-2},
        {-0x1.7601a47a091c7p+0, 0x1.9416b2ba00498p+2, 0x1.52ffec8901b5dp+0},
    };
    std::mt19937_64 rng(2024);
    const auto next = [&rng] { return static_cast<double>(rng() >> 11) * 0x1p-52 - 1.0; };
    for (int n = 0; n < 8; ++n) {
        ViewMatrices m;
        for (double& e : m.modelView) e = next();
        for (double& e : m.projection) e = next();
        const double wx = next() * 700;
        const double wy = next() * 500;
        double obj[3];
        ASSERT_TRUE(unprojectPoint(m, {-30, 12, 640, 480}, wx, wy, n % 2, obj));
        for (int k = 0; k < 3; ++k) EXPECT_EQ(doubleBits(expected[n][k]), doubleBits(obj[k])) << n << " [" << k << "]";
    }
}

static_assert(orrelin::kContractsChecked, "test builds check contracts");

TEST(ViewMatricesDeathTest, ContractsRefuseWhatGlCannotHold) {
    const ViewMatrices m = viewMatrices(800, 600, 10.0f, {0.0f, 0.0f, 10.0f});
    bool ok = false;
    double obj[3];
    EXPECT_DEATH(viewMatrices(-1, 600, 10.0f, {}), "contract failed: width >= 0");
    EXPECT_DEATH(unprojectPoint(m, {0, 0, 800, -600}, 1, 1, 0, obj), "contract failed");
    EXPECT_DEATH(pixelToPlane(m, {0, 0, -800, 600}, 1, 1, ok), "contract failed");
    // The row flip viewport y + height - y would overflow int.
    EXPECT_DEATH(pixelToPlane(m, {0, 0, 800, 600}, 1, INT_MIN, ok), "contract failed");
    EXPECT_DEATH(pixelToPlane(m, {INT_MAX, INT_MAX, 800, 600}, 1, 1, ok), "contract failed");
}
