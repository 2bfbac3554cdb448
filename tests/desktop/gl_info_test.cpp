#include "orrelin/desktop/gl_info.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "test_util.h"

TEST(DriverVersion, LeadingNumberReadLikeAtofInSinglePrecision) {
    EXPECT_FLOAT_BITS(4.6f, parseVersionNumber("4.6.0 NVIDIA 535.0"));
    EXPECT_FLOAT_BITS(4.5f, parseVersionNumber("4.5 (Compatibility Profile) Mesa 22.3.6"));
    EXPECT_FLOAT_BITS(1.5f, parseVersionNumber("1.5.0"));
    EXPECT_FLOAT_BITS(1.4f, parseVersionNumber("1.4 Mesa"));
    EXPECT_FLOAT_BITS(2.1f, parseVersionNumber("  2.1"));  // leading white space skipped
    EXPECT_FLOAT_BITS(1.5f, parseVersionNumber("+1.5"));
    EXPECT_FLOAT_BITS(150.0f, parseVersionNumber("1.5e2x"));
    EXPECT_FLOAT_BITS(1.5f, parseVersionNumber("0x1.8p0"));
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber("OpenGL ES 3.2"));
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber(""));
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber(nullptr));
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber(".x"));
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber("1e999"));  // beyond double's range: no version
    EXPECT_FLOAT_BITS(0.0f, parseVersionNumber("1e-999"));
    EXPECT_TRUE(std::isinf(parseVersionNumber("inf")));  // written out, as atof reads it
}

TEST(DriverVersion, DoesNotFollowTheUsersDecimalComma) {
    // The toolkit switches to the user's locale; a comma locale must not turn
    // "1.5" into 1.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale on this machine";
    EXPECT_FLOAT_BITS(1.5f, parseVersionNumber("1.5.0"));
    std::setlocale(LC_NUMERIC, "C");
}

TEST(Extensions, WholeWordSearch) {
    const char* name = "GL_ARB_vertex_buffer_object";
    EXPECT_TRUE(extensionListContains("GL_ARB_vertex_buffer_object GL_EXT_foo", name));  // at the very beginning
    EXPECT_TRUE(extensionListContains("GL_EXT_foo GL_ARB_vertex_buffer_object", name));  // at the very end
    EXPECT_TRUE(extensionListContains("GL_ARB_vertex_buffer_object", name));
    EXPECT_FALSE(extensionListContains("GL_ARB_vertex_buffer_objectX", name));  // only a prefix of a longer name
    EXPECT_FALSE(extensionListContains("XGL_ARB_vertex_buffer_object", name));  // a suffix of a longer name
    EXPECT_TRUE(extensionListContains("GL_ARB_vertex_buffer_objects GL_ARB_vertex_buffer_object", name));
    // A rejected occurrence ends exactly where the next begins: that one counts
    // as starting a word.
    EXPECT_TRUE(extensionListContains("GL_ARB_vertex_buffer_objectGL_ARB_vertex_buffer_object", name));
    EXPECT_FALSE(extensionListContains("GL_EXT_foo\tGL_ARB_vertex_buffer_object", name));  // tab is no separator
    EXPECT_FALSE(extensionListContains("GL_ARB_vertex_buffer_object\nGL_EXT_foo", name));
    EXPECT_FALSE(extensionListContains("", name));
    EXPECT_FALSE(extensionListContains(nullptr, name));
    EXPECT_FALSE(extensionListContains("GL_A GL_B", "GL_A GL_B"));  // names never contain spaces
    EXPECT_FALSE(extensionListContains("GL_A", ""));
}

TEST(Extensions, BufferObjectCheckNeedsVersionAndExtension) {
    const char* with = "GL_EXT_a GL_ARB_vertex_buffer_object GL_EXT_b";
    EXPECT_TRUE(bufferObjectsSupported("1.5.0", with));
    EXPECT_FALSE(bufferObjectsSupported("1.4.0", with));
    EXPECT_FALSE(bufferObjectsSupported("2.1.0", "GL_EXT_a GL_EXT_b"));
    EXPECT_TRUE(bufferObjectsSupported("4.6.0 NVIDIA", with));
    EXPECT_FALSE(bufferObjectsSupported(nullptr, with));
    EXPECT_FALSE(bufferObjectsSupported("3.0", nullptr));
}
