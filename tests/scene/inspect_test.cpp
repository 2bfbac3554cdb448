// orrelin-inspect as a user runs it: exit codes and the JSON it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "json_writer.h"

namespace {

struct CommandResult {
    int status;
    std::string out;
};

// Runs a shell command, its standard output read and its error output dropped.
CommandResult runShell(const std::string& command) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    CommandResult run{-1, {}};
    if (!pipe) return run;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

CommandResult inspect(const std::string& args) {
    return runShell(std::string(ORRELIN_INSPECT_EXE) + " " + args);
}

std::string writeFile(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

}  // namespace

TEST(Inspect, SquareWithLocations) {
    const std::string path = writeFile("inspect_square.tri", "v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 1 3 2\n");
    const CommandResult run = inspect(path + " --locate 0.25 0.25 --locate 0.5 0.5 --locate -3 7 --stats");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"valid\": true"), std::string::npos);
    EXPECT_NE(run.out.find("\"vertexCount\": 4, \"triangleCount\": 2, \"edgeCount\": 5, \"regionCount\": 1"),
              std::string::npos);
    EXPECT_NE(run.out.find("\"edges\": [0, 1, 0, 2, 1, 2, 1, 3, 3, 2]"), std::string::npos);
    EXPECT_NE(run.out.find("\"extent\": 1.4142135, \"moveStep\": 0.02828427"), std::string::npos);
    EXPECT_NE(run.out.find("\"regions\": [[0, 0, 1, 1, 0.5, 0.5]]"), std::string::npos);
    // The root split once; both triangles reach every quadrant.
    EXPECT_NE(run.out.find("\"stats\": {\"splitRegions\": 1, \"leaves\": 4, \"emptyLeaves\": 0, "
                           "\"depthReached\": 1, \"storedReferences\": 8, \"maxPerLeaf\": 2, "
                           "\"meanPerLeaf\": 2, \"expectedTests\": 2, \"triangleCount\": 2}"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("{\"point\": [0.25, 0.25], \"region\": [0, 3], \"inside\": [true, false], "
                           "\"foundTriangleFirst\": 0, \"highlightVertexCount\": 7, \"path\": "
                           "[{\"bounds\": [0, 0, 1, 1], \"triangles\": 2, \"child\": 0}, "
                           "{\"bounds\": [0, 0, 0.5, 0.5], \"triangles\": 2}]}"),
              std::string::npos);
    // On the shared edge: neither triangle holds the point.
    EXPECT_NE(run.out.find("{\"point\": [0.5, 0.5], \"region\": [0, 3], \"inside\": [false, false], "
                           "\"foundTriangleFirst\": 0"),
              std::string::npos);
    // Far outside the mesh: a border region, nothing found, a path like any other.
    EXPECT_NE(run.out.find("{\"point\": [-3, 7], \"region\": [0, 3], \"inside\": [false, false]"), std::string::npos);
    EXPECT_NE(run.out.find("\"path\": [{\"bounds\": [0, 0, 1, 1], \"triangles\": 2, \"child\": 2}, "
                           "{\"bounds\": [0, 0.5, 0.5, 1], \"triangles\": 2}]}"),
              std::string::npos);
}

TEST(Inspect, SummaryAndFloatForms) {
    // -0 keeps its sign; an extent beyond the float range prints as a string.
    const std::string path = writeFile("inspect_limits.tri", "v -0 -3e38\nv 0 3e38\nv 1e-45 0\nf 0 1 2\n");
    const CommandResult run = inspect(path + " --summary");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("\"vertices\""), std::string::npos);
    EXPECT_EQ(run.out.find("\"regions\""), std::string::npos);
    EXPECT_NE(run.out.find("\"bounds\": [-0, -3e+38, 1e-45, 3e+38]"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"extent\": \"inf\", \"moveStep\": \"inf\""), std::string::npos) << run.out;
}

std::string floatText(float value) {
    std::string text;
    appendFloat(text, value);
    return text;
}

// The float text is the same on every toolchain: the shorter of fixed and
// scientific notation, fixed on a tie, integers exact.
TEST(Inspect, FloatText) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.0f, "0"},
        {-0.0f, "-0"},
        {-2.5f, "-2.5"},
        {1e-45f, "1e-45"},
        {1.234e-5f, "1.234e-05"},
        {1e-4f, "1e-04"},
        {0.0001234f, "0.0001234"},
        {0.001f, "0.001"},
        {0.3f, "0.3"},
        {10000.0f, "10000"},
        {100000.0f, "1e+05"},
        {123456.0f, "123456"},
        {16777216.0f, "16777216"},
        {1073741824.0f, "1073741824"},  // the exact value, not 1073741800
        {1099511627776.0f, "1099511627776"},
        {1e13f, "1e+13"},
        {1e20f, "1e+20"},
        {-3.4028235e38f, "-3.4028235e+38"},
        {inf, "\"inf\""},
        {-inf, "\"-inf\""},
        {std::numeric_limits<float>::quiet_NaN(), "\"nan\""},
    };
    for (const auto& c : cases) EXPECT_EQ(floatText(c.value), c.text) << c.text;
}

#ifdef __cpp_lib_to_chars
// The writer prints what std::to_chars(float) prints, where the C++ library
// has it: every subnormal, the floats around every power of two and ten, short
// decimals of every exponent (where fixed and scientific notation trade
// places), and random bit patterns.
TEST(Inspect, FloatTextMatchesToChars) {
    int mismatches = 0;
    std::string text;
    char expected[64];
    const auto check = [&](float value) {
        if (!std::isfinite(value)) return;
        text.clear();
        appendFloat(text, value);
        const char* end = std::to_chars(expected, expected + sizeof expected, value).ptr;
        if (text != std::string_view(expected, end) && ++mismatches <= 10) {
            ADD_FAILURE() << std::bit_cast<std::uint32_t>(value) << ": " << text << " instead of "
                          << std::string_view(expected, end);
        }
    };
    const auto around = [&](float value, int steps) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        for (int d = -steps; d <= steps; ++d) check(std::bit_cast<float>(bits + static_cast<std::uint32_t>(d)));
    };

    for (std::uint32_t bits = 1; bits < 0x00800000u; ++bits) check(std::bit_cast<float>(bits));
    for (int exponent = -149; exponent <= 127; ++exponent) around(std::ldexp(1.0f, exponent), 64);

    // The float nearest m * 10^exponent, or 0 beyond the float range.
    const auto decimal = [](std::uint32_t m, int exponent) {
        const std::string digits = std::to_string(m) + "e" + std::to_string(exponent);
        float value = 0.0f;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return result.ec == std::errc() ? value : 0.0f;
    };
    std::mt19937 random(15);
    for (int exponent = -45; exponent <= 38; ++exponent) {
        around(decimal(1, exponent), 256);
        around(-decimal(1, exponent), 4);
        for (std::uint32_t digits = 1, low = 1; digits <= 9; ++digits, low *= 10) {
            for (int i = 0; i < 50; ++i) {
                const std::uint32_t m = i == 0 ? low : i == 1 ? low * 10 - 1 : low + random() % (low * 9);
                around(decimal(m, exponent), 1);
            }
        }
    }
    for (int i = 0; i < 4'000'000; ++i) check(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
    EXPECT_EQ(mismatches, 0);
}
#endif

TEST(Inspect, LimitsShapeTheTree) {
    std::string text;
    for (int y = 0; y <= 10; ++y)
        for (int x = 0; x <= 10; ++x) text += "v " + std::to_string(x) + " " + std::to_string(y) + "\n";
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const int a = y * 11 + x;
            text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 12) + "\n";
        }
    const std::string path = writeFile("inspect_grid.tri", text);
    EXPECT_NE(inspect(path + " --summary --max-depth 1 --max-triangles 1").out.find("\"regionCount\": 1,"),
              std::string::npos);
    const std::string deep = inspect(path + " --summary --stats --max-depth 3 --max-triangles 1").out;
    EXPECT_NE(deep.find("\"regionCount\": 21,"), std::string::npos);
    // Every split adds three leaves; the depth reached is the limit.
    EXPECT_NE(deep.find("\"stats\": {\"splitRegions\": 21, \"leaves\": 64, "), std::string::npos) << deep;
    EXPECT_NE(deep.find("\"depthReached\": 3, "), std::string::npos) << deep;
    // The descent of a generated mesh starts at the root with every triangle
    // and ends at the region the click tests.
    const std::string mesh = writeFile("inspect_density.tri", "");
    ASSERT_EQ(0, std::system((std::string(ORRELIN_MESHGEN_EXE) + " density 5000 " + mesh + " --seed 9").c_str()));
    const std::string located = inspect(mesh + " --summary --locate 300 200").out;
    const std::size_t region = located.find("\"region\": [");
    const std::size_t count =
        std::count(located.begin() + static_cast<std::ptrdiff_t>(region),
                   located.begin() + static_cast<std::ptrdiff_t>(located.find(']', region)), ',') +
        1;
    EXPECT_NE(located.find("\"path\": [{\"bounds\": [0, 0, 1000, 1000], \"triangles\": 5000, \"child\": "),
              std::string::npos)
        << located;
    EXPECT_NE(located.find("\"triangles\": " + std::to_string(count) + "}]}"), std::string::npos) << located;
}

TEST(Inspect, InvalidFilesAndBadArguments) {
    const CommandResult missing = inspect("/nonexistent/x.tri");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out,
              "{\"file\": \"/nonexistent/x.tri\", \"valid\": false, \"error\": \"The file \\\"/nonexistent/x.tri\\\" "
              "could not be opened.\"}\n");
    // A file that was read but is invalid says why.
    const std::string bad = writeFile("inspect_bad.tri", "v 0 0\nf 0 0 1\n");
    const CommandResult invalid = inspect(bad);
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.out,
              "{\"file\": \"" + bad + "\", \"valid\": false, \"error\": \"The file \\\"" + bad +
                  "\\\" could not be opened.\", \"reason\": \"Line 2: index 1 names no vertex (the file has 1).\"}\n");

    const std::string good = writeFile("inspect_good.tri", "v 0 0\nv 1 0\nv 0 1\nf 0 1 2\n");
    EXPECT_EQ(inspect(good + " --max-depth 0").status, 2);
    EXPECT_EQ(inspect(good + " --max-depth 11").status, 2);
    EXPECT_EQ(inspect(good + " --max-depth 10 --max-triangles 10000").status, 0);
    EXPECT_EQ(inspect(good + " --max-triangles 10001").status, 2);
    EXPECT_EQ(inspect(good + " --max-triangles 5x").status, 2);
    EXPECT_EQ(inspect(good + " --locate 1").status, 2);
    EXPECT_EQ(inspect(good + " --locate a b").status, 2);
    // Coordinates: what the float range holds, "inf" and "nan" included; digits
    // beyond it, or non-zero digits that would read as zero, are refused.
    for (const char* point : {"+5 -0", "1e-45 .5", "inf -nan", "3.4028235e38 0e-99"}) {
        EXPECT_EQ(inspect(good + " --summary --locate " + point).status, 0) << point;
    }
    for (const char* point : {"1e39 0", "0 -3.5e38", "1e-50 0", "0x10 0"}) {
        EXPECT_EQ(inspect(good + " --summary --locate " + point).status, 2) << point;
    }
    EXPECT_EQ(inspect(good + " --bogus").status, 2);
    EXPECT_EQ(inspect("").status, 2);
    EXPECT_EQ(inspect(good + " " + good).status, 2);
    EXPECT_EQ(inspect("--help").status, 0);
}

// Long thin triangles at depth 10 with one triangle per region are stored
// thousands of times; under an address-space limit the build gives up with the
// memory message instead of taking the process down, and the same file still
// loads with limits that fit.
TEST(Inspect, ATreeBeyondTheMemoryLimitIsAnError) {
#ifdef ORRELIN_SANITIZED
    GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
#endif
    const std::string path =
        (std::filesystem::temp_directory_path() / ("inspect_slivers_" + std::to_string(::getpid()) + ".tri")).string();
    ASSERT_EQ(0, std::system((std::string(ORRELIN_MESHGEN_EXE) + " slivers 50000 " + path + " --seed 2").c_str()));
    const std::string limited = "bash -c 'ulimit -v 300000; exec " + std::string(ORRELIN_INSPECT_EXE) + " " + path;
    auto run = [](const std::string& command) { return runShell(command + "'"); };
    const CommandResult deep = run(limited + " --summary --max-depth 10 --max-triangles 1");
    EXPECT_EQ(1, deep.status);
    EXPECT_NE(std::string::npos,
              deep.out.find("\"valid\": true, \"error\": \"There is not enough memory to build the quadtree with "
                            "these properties.\""))
        << deep.out;
    const CommandResult shallow = run(limited + " --summary");
    EXPECT_EQ(0, shallow.status) << shallow.out;
    std::filesystem::remove(path);
}

// A figure of a large mesh stays small in bytes and elements (a renderer may
// refuse a million elements) and renders.
TEST(Inspect, FigureOfALargeMeshRenders) {
    if (runShell("command -v rsvg-convert").status != 0) GTEST_SKIP() << "no rsvg-convert";
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = (dir / ("inspect_figure_" + std::to_string(::getpid()))).string();
    ASSERT_EQ(0, std::system((std::string(ORRELIN_MESHGEN_EXE) + " grid 100000 " + stem + ".tri").c_str()));
    ASSERT_EQ(0, inspect(stem + ".tri --summary --locate 500 500 --svg " + stem + ".svg").status);
    std::ifstream in(stem + ".svg", std::ios::binary);
    const std::string figure((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GT(figure.size(), 1'000'000u);
    EXPECT_LT(figure.size(), 3'500'000u);
    EXPECT_LT(std::count(figure.begin(), figure.end(), '<'), 100);
    EXPECT_EQ(0, runShell("rsvg-convert " + stem + ".svg -o " + stem + ".png").status);
    EXPECT_GT(std::filesystem::file_size(stem + ".png"), 1000u);
    for (const char* extension : {".tri", ".svg", ".png"}) std::filesystem::remove(stem + extension);
}

namespace {

// The text of the number after `"key": ` from `from` on.
std::string numberAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
    const std::size_t at = json.find("\"" + key + "\": ", from);
    if (at == std::string::npos) return "missing " + key;
    const std::size_t start = at + key.size() + 4;
    return json.substr(start, json.find_first_of(",}", start) - start);
}

}  // namespace

// Each point of a sweep is the tree --stats weighs at the same limits.
TEST(Inspect, SweepOfEitherLimit) {
    const std::string mesh = writeFile("inspect_sweep.tri", "");
    ASSERT_EQ(0, std::system((std::string(ORRELIN_MESHGEN_EXE) + " density 3000 " + mesh + " --seed 2").c_str()));
    const struct {
        const char* args;
        std::size_t points;
        const char* probe;  // the point compared with --stats
        const char* statsLimits;
    } cases[] = {
        {"--sweep depth --max-triangles 20", 10, "{\"maxDepth\": 4, \"maxTriangles\": 20, \"fits\": true",
         "--max-depth 4 --max-triangles 20"},
        {"--max-depth 7 --sweep triangles", 13, "{\"maxDepth\": 7, \"maxTriangles\": 5, \"fits\": true",
         "--max-depth 7 --max-triangles 5"},
    };
    for (const auto& c : cases) {
        const CommandResult sweep = inspect(mesh + " --summary " + c.args);
        ASSERT_EQ(0, sweep.status) << c.args;
        std::size_t points = 0;
        for (std::size_t at = 0; (at = sweep.out.find("{\"maxDepth\": ", at)) != std::string::npos; ++at) ++points;
        EXPECT_EQ(c.points, points) << sweep.out;
        const std::size_t probe = sweep.out.find(c.probe);
        ASSERT_NE(std::string::npos, probe) << sweep.out;
        const std::string stats = inspect(mesh + " --summary --stats " + c.statsLimits).out;
        for (const char* key : {"expectedTests", "storedReferences", "splitRegions"}) {
            EXPECT_EQ(numberAfter(stats, key), numberAfter(sweep.out, key, probe)) << key << " " << c.args;
        }
        EXPECT_NE("missing buildMs", numberAfter(sweep.out, "buildMs", probe));
    }
    EXPECT_NE(std::string::npos,
              inspect(mesh + " --summary --sweep depth")
                  .out.find(",\n \"sweep\": {\"limit\": \"depth\", \"points\": [\n  {\"maxDepth\": 1, "
                            "\"maxTriangles\": 50, \"fits\": true, \"expectedTests\": "));
    EXPECT_EQ(2, inspect(mesh + " --sweep width").status);
    EXPECT_EQ(2, inspect(mesh + " --sweep").status);
    std::filesystem::remove(mesh);
}
