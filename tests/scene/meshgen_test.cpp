// orrelin-meshgen writes valid, reproducible meshes of exactly the requested size.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app_state_reset.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/scene/scene.h"
#include "test_util.h"

namespace {

std::string generate(const std::string& kind, int n, int seed) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("meshgen_" + kind + "_" + std::to_string(n) + "_" + std::to_string(seed) + ".tri");
    const std::string command = std::string(ORRELIN_MESHGEN_EXE) + " " + kind + " " + std::to_string(n) + " " +
                                path.string() + " --seed " + std::to_string(seed);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

}  // namespace

TEST(MeshGen, EveryKindLoadsWithExactlyTheRequestedTriangles) {
    for (const std::string kind : {"grid", "density", "slivers", "holes"}) {
        for (int n : {1, 2, 7, 1000}) {
            const std::string text = generate(kind, n, 3);
            resetAppState();
            ASSERT_TRUE(loadTriangleData(text.data(), text.size())) << kind << " " << n;
            clearFileMesh();
            EXPECT_EQ(AppState.mesh.indices.size(), 3u * n) << kind;
            // Every coordinate fits the reader's 8-character fields.
            std::istringstream lines(text);
            std::string tag, x, y;
            while (lines >> tag) {
                if (tag == "v") {
                    lines >> x >> y;
                    EXPECT_LE(x.size(), 8u) << x;
                    EXPECT_LE(y.size(), 8u) << y;
                } else {
                    lines >> x >> y >> tag;
                }
            }
        }
    }
    resetAppState();
}

TEST(MeshGen, HolesLeaveTheirMiddlesEmpty) {
    const std::string text = generate("holes", 3000, 6);
    resetAppState();
    ASSERT_TRUE(loadTriangleData(text.data(), text.size()));
    clearFileMesh();
    // No triangle reaches the middles of the two holes, (300, 300) and (680, 640).
    for (Point2 middle : {Point2{300, 300}, Point2{680, 640}}) {
        for (std::size_t o = 0; o < AppState.mesh.indices.size(); o += 3) {
            EXPECT_FALSE(
                pointInTriangle(AppState.mesh.vertices, AppState.mesh.indices, static_cast<TriangleOffset>(o), middle));
        }
    }
    // ...while the grid around them is there.
    bool covered = false;
    for (std::size_t o = 0; o < AppState.mesh.indices.size(); o += 3) {
        covered |= pointInTriangle(AppState.mesh.vertices, AppState.mesh.indices, static_cast<TriangleOffset>(o),
                                   Point2{60.5f, 940.5f});
    }
    EXPECT_TRUE(covered);
    resetAppState();
}

TEST(MeshGen, SameSeedSameFile) {
    EXPECT_EQ(generate("density", 500, 4), generate("density", 500, 4));
    EXPECT_NE(generate("density", 500, 4), generate("density", 500, 5));
}

TEST(MeshGen, BadArguments) {
    const std::string exe = ORRELIN_MESHGEN_EXE;
    const auto status = [](const std::string& cmd) {
        const int s = std::system((cmd + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status(exe + " --help"), 0);
    EXPECT_EQ(status(exe + " hexagons 10 /tmp/x.tri"), 2);
    EXPECT_EQ(status(exe + " grid 0 /tmp/x.tri"), 2);
    EXPECT_EQ(status(exe + " grid 10"), 2);
}

// The default mesh and the samples in Data/ are the generator's output with
// the arguments scripts/make-data gives it.
TEST(MeshGen, TheSampleMeshesAreItsOutput) {
    const struct {
        const char* file;
        const char* kind;
        int triangles;
        int seed;
    } samples[] = {
        {"triangles_1.tri", "density", 4050, 1}, {"uniform.tri", "grid", 2000, 2},
        {"clustered.tri", "density", 2450, 3},   {"slivers.tri", "slivers", 300, 4},
        {"holes.tri", "holes", 2400, 5},
    };
    for (const auto& s : samples) {
        std::ifstream in(std::string(ORRELIN_DATA_DIR) + "/" + s.file, std::ios::binary);
        std::stringstream committed;
        committed << in.rdbuf();
        EXPECT_EQ(committed.str(), generate(s.kind, s.triangles, s.seed)) << s.file;
    }
}
