#include <gtest/gtest.h>

#include <cmath>

#include "orrelin/ui/dialog_fields.h"
#include "orrelin/view/camera_math.h"
#include "test_util.h"

TEST(Camera, FramingAndKeySteps) {
    // Bounds (0, 0)-(300, 400): extent 500, step 10, centre (150, 200).
    Vec3f eye = framedEye({150, 200}, 500);
    EXPECT_FLOAT_BITS(500.0f, eye.z);
    eye = keyMove(eye, KeyMove::PanRight, 10);
    EXPECT_FLOAT_BITS(160.0f, eye.x);
    eye = keyMove(eye, KeyMove::PanDown, 10);
    EXPECT_FLOAT_BITS(190.0f, eye.y);
    for (int k = 0; k < 50; ++k) eye = keyMove(eye, KeyMove::ZoomIn, 10);
    EXPECT_FLOAT_BITS(0.0f, eye.z);  // down on the plane; nothing refuses further presses
    eye = keyMove(eye, KeyMove::ZoomIn, 10);
    EXPECT_FLOAT_BITS(-10.0f, eye.z);
    EXPECT_FLOAT_BITS(1.33333337f, aspectRatio(800, 600));
    EXPECT_TRUE(std::isinf(aspectRatio(800, 0)));
}

TEST(Camera, ArrowKeysPanWithShiftAndZoomWithout) {
    struct Case {
        ArrowKey key;
        bool shift;
        bool steps;
        KeyMove move;
    };
    for (const Case& c :
         {Case{ArrowKey::Left, true, true, KeyMove::PanLeft}, Case{ArrowKey::Right, true, true, KeyMove::PanRight},
          Case{ArrowKey::Up, true, true, KeyMove::PanUp}, Case{ArrowKey::Down, true, true, KeyMove::PanDown},
          Case{ArrowKey::Up, false, true, KeyMove::ZoomIn}, Case{ArrowKey::Down, false, true, KeyMove::ZoomOut},
          Case{ArrowKey::Left, false, false, KeyMove::PanLeft},
          Case{ArrowKey::Right, false, false, KeyMove::PanLeft}}) {
        KeyMove move = KeyMove::PanLeft;
        EXPECT_EQ(arrowKeyMove(c.key, c.shift, move), c.steps) << static_cast<int>(c.key) << c.shift;
        if (c.steps) {
            EXPECT_EQ(move, c.move) << static_cast<int>(c.key) << c.shift;
        }
    }
}

TEST(Camera, WheelKeepsThePointUnderTheCursorAndScalesHeight) {
    const Vec3f eye{0, 0, 100};
    const Vec3f in = wheelZoom(eye, {50, -20, 0}, true);
    EXPECT_FLOAT_BITS(5.0f, in.x);
    EXPECT_FLOAT_BITS(-2.0f, in.y);
    EXPECT_FLOAT_BITS(90.0f, in.z);
    const Vec3f out = wheelZoom(eye, {50, -20, 0}, false);
    EXPECT_FLOAT_BITS(-5.0f, out.x);
    EXPECT_FLOAT_BITS(110.0f, out.z);
    // Each product is rounded to float: 0.1f is not 0.1.
    EXPECT_FLOAT_BITS(static_cast<float>(3.0f * 0.1f), wheelZoom({0, 0, 0}, {3, 0, 0}, true).x);
    // Seventeen steps outward pass five times the start height.
    Vec3f e{0, 0, 1};
    for (int k = 0; k < 17; ++k) e = wheelZoom(e, {0, 0, 0}, false);
    EXPECT_GT(e.z, 5.0f);
}

TEST(Camera, DragFollowsTheMouse) {
    const Vec3f moved = dragMove({0, 0, 5}, 10, 0, 10);
    EXPECT_FLOAT_BITS(static_cast<float>(10.0 * 10.0 * static_cast<double>(0.1f)), moved.x);
    EXPECT_FLOAT_BITS(0.0f, moved.y);
    EXPECT_FLOAT_BITS(-2.0f * static_cast<float>(10.0 * static_cast<double>(0.1f)), dragMove({0, 0, 5}, 0, 2, 10).y);
    const Vec3f still = dragMove({7, 7, 7}, 10, 10, 0);  // a scene of size 0 has step 0
    EXPECT_FLOAT_BITS(7.0f, still.x);
}

TEST(Camera, PlaneIntersection) {
    bool ok = false;
    const double nearP[3] = {1, 2, 9}, farP[3] = {3, 6, -1};
    const Point2 p = planeIntersection(nearP, farP, ok);
    EXPECT_TRUE(ok);
    EXPECT_FLOAT_BITS(2.8f, p.x);
    EXPECT_FLOAT_BITS(5.6f, p.y);
    const double flatNear[3] = {0, 0, 1}, flatFar[3] = {5, 5, 1};  // parallel to the plane
    planeIntersection(flatNear, flatFar, ok);
    EXPECT_FALSE(ok);
}

TEST(DialogFields, UnsignedReadAndRanges) {
    EXPECT_EQ(readUnsignedField("0"), 0u);
    EXPECT_EQ(readUnsignedField("11"), 11u);
    EXPECT_EQ(readUnsignedField(""), 0u);
    EXPECT_EQ(readUnsignedField("abc"), 0u);
    EXPECT_EQ(readUnsignedField("-1"), 0u);
    EXPECT_EQ(readUnsignedField("  7x"), 7u);
    EXPECT_EQ(readUnsignedField("4294967295"), 4294967295u);
    EXPECT_EQ(readUnsignedField("4294967296"), 0u);
    EXPECT_EQ(readUnsignedField("00000000000000000005"), 5u);

    const auto asSigned = [](std::uint32_t v) { return static_cast<std::int32_t>(v); };
    EXPECT_EQ(validateProperties(asSigned(readUnsignedField("4294967295")), 50), PropertiesVerdict::InvalidDepth);
    EXPECT_EQ(validateProperties(0, 0), PropertiesVerdict::InvalidDepth);  // depth is judged first
    EXPECT_EQ(validateProperties(11, 50), PropertiesVerdict::InvalidDepth);
    EXPECT_EQ(validateProperties(10, 10000), PropertiesVerdict::Valid);
    EXPECT_EQ(validateProperties(1, 1), PropertiesVerdict::Valid);
    EXPECT_EQ(validateProperties(5, 10001), PropertiesVerdict::InvalidTriangles);
    EXPECT_EQ(validateProperties(5, 0), PropertiesVerdict::InvalidTriangles);
}
