// orrelin_bench: times each step of loading a large mesh with the program's own
// code, the same steps in the straightforward baseline (baseline.h), and an OBJ
// reader on the same mesh.
//
// The mesh is a 1M-triangle jittered grid that orrelin-meshgen writes into the
// build directory on the first run (and again whenever the generator is rebuilt);
// its OBJ twin is written next to it from the same text.

#include <benchmark/benchmark.h>
#include <tiny_obj_loader.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "baseline.h"
#include "orrelin/mesh/mesh_prep.h"
#include "orrelin/mesh/tri_reader.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"

namespace {

namespace fs = std::filesystem;

// Triangles of the benchmark mesh: 1M, or what ORRELIN_BENCH_TRIANGLES says
// (scripts/bench --large runs the load path on 10M).
std::uint64_t kTriangles = 1000000;
constexpr int kLocatePoints = 10000;

struct BenchData {
    std::string triPath;
    std::string objPath;
    std::uintmax_t triBytes = 0;
    std::uintmax_t objBytes = 0;
    // The mesh as the program reads it, for the steps that start from parsed arrays.
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    TriangleParseFlags flags;
    Rect2 bounds;
};

BenchData data;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "orrelin_bench: %s\n", message.c_str());
    std::exit(1);
}

// True when `path` is missing or older than `source`.
bool outdated(const fs::path& path, const fs::path& source) {
    std::error_code ec;
    const auto made = fs::last_write_time(path, ec);
    if (ec) return true;
    const auto changed = fs::last_write_time(source, ec);
    return ec || made < changed;
}

// Writes to a side file first and renames it, so an interrupted run never
// leaves a truncated file that a later run would take for a finished one.
void replaceFile(const fs::path& part, const fs::path& path) {
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) fail("cannot rename " + part.string() + " to " + path.string() + ": " + ec.message());
}

void generateTriFile(const fs::path& path) {
    const fs::path part = path.string() + ".part";
    const std::string command = std::string("\"") + ORRELIN_MESHGEN_EXE + "\" grid " + std::to_string(kTriangles) +
                                " \"" + part.string() + "\" --seed 1";
    if (std::system(command.c_str()) != 0) fail("generating the mesh failed: " + command);
    replaceFile(part, path);
}

// The same mesh as OBJ: "v x y" becomes "v x y 0" with the same digits, and
// "f a b c" becomes "f a+1 b+1 c+1" (OBJ counts vertices from 1).
void writeObjFile(const std::string& triText, const fs::path& path) {
    std::string out;
    out.reserve(triText.size() + triText.size() / 8);
    std::size_t pos = 0;
    while (pos < triText.size()) {
        std::size_t end = triText.find('\n', pos);
        if (end == std::string::npos) end = triText.size();
        const std::string_view line(triText.data() + pos, end - pos);
        if (line.size() > 2 && line[0] == 'v') {
            out.append(line);
            out += " 0\n";
        } else if (line.size() > 2 && line[0] == 'f') {
            out += 'f';
            const char* p = line.data() + 1;
            const char* last = line.data() + line.size();
            for (int k = 0; k < 3; ++k) {
                while (p < last && *p == ' ') ++p;
                std::uint64_t index = 0;
                const auto result = std::from_chars(p, last, index);
                if (result.ec != std::errc()) fail("unexpected triangle line in the generated mesh");
                p = result.ptr;
                out += ' ';
                out += std::to_string(index + 1);
            }
            out += '\n';
        }
        pos = end + 1;
    }
    const fs::path part = path.string() + ".part";
    std::FILE* file = std::fopen(part.string().c_str(), "wb");
    if (file == nullptr) fail("cannot write " + part.string());
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !ok) fail("writing " + part.string() + " failed");
    replaceFile(part, path);
}

void prepareData() {
    const fs::path dir = ORRELIN_BENCH_DATA_DIR;
    const fs::path tri = dir / ("grid-" + std::to_string(kTriangles) + "-seed1.tri");
    const fs::path obj = dir / ("grid-" + std::to_string(kTriangles) + "-seed1.obj");
    if (outdated(tri, ORRELIN_MESHGEN_EXE)) generateTriFile(tri);

    std::string bytes;
    if (!readFileBytes(tri.string(), bytes)) fail("cannot read " + tri.string());
    if (outdated(obj, tri)) writeObjFile(bytes, obj);

    data.triPath = tri.string();
    data.objPath = obj.string();
    data.triBytes = fs::file_size(tri);
    data.objBytes = fs::file_size(obj);
    data.flags = parseTriangleData(bytes.data(), bytes.size(), data.vertices, data.indices);
    if (!validateFileMesh(data.vertices, data.indices, data.flags)) fail(tri.string() + " is not a valid mesh");
    if (data.indices.size() != 3 * kTriangles) fail(tri.string() + " has the wrong number of triangles");
    data.bounds = computeSceneBounds(data.vertices).bounds;

    benchmark::AddCustomContext("mesh", data.triPath);
    benchmark::AddCustomContext("mesh_triangles", std::to_string(data.indices.size() / 3));
    benchmark::AddCustomContext("mesh_vertices", std::to_string(data.vertices.size()));
    benchmark::AddCustomContext("mesh_bytes", std::to_string(data.triBytes));
    benchmark::AddCustomContext("obj_bytes", std::to_string(data.objBytes));
}

QuadtreeSettings settingsFor(std::int32_t maxDepth, std::uint32_t maxTriangles) {
    QuadtreeSettings settings;
    settings.rootBounds = &data.bounds;
    settings.vertices = &data.vertices;
    settings.indices = &data.indices;
    settings.maxDepth = maxDepth;
    settings.maxTrianglesPerRegion = maxTriangles;
    return settings;
}

// --- The program's own code -------------------------------------------------

// Argument: threads (0: all the machine has; 1: one piece on one thread).
void BM_ReadParse(benchmark::State& state) {
    const unsigned threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        std::string bytes;
        std::vector<Point2> vertices;
        std::vector<std::uint32_t> indices;
        if (!readFileBytes(data.triPath, bytes)) state.SkipWithError("read failed");
        const TriangleParseFlags flags =
            threads == 1 ? parseTriangleDataInPieces(bytes.data(), bytes.size(), vertices, indices, 1, 1)
                         : parseTriangleData(bytes.data(), bytes.size(), vertices, indices);
        benchmark::DoNotOptimize(flags);
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.triBytes));
}

void BM_Validate(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(validateFileMesh(data.vertices, data.indices, data.flags));
    }
}

// Argument: threads (0: all the machine has).
void BM_EdgeList(benchmark::State& state) {
    const unsigned threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        std::vector<std::uint32_t> edges = buildEdgeList(data.indices, data.vertices.size(), threads);
        benchmark::DoNotOptimize(edges.data());
    }
}

void BM_Bounds(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeSceneBounds(data.vertices));
    }
}

// Arguments: depth, triangles per region, threads (0: all the machine has).
void BM_Quadtree(benchmark::State& state) {
    const QuadtreeSettings settings =
        settingsFor(static_cast<std::int32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
    const unsigned threads = static_cast<unsigned>(state.range(2));
    Quadtree tree;
    std::size_t nodes = 0;
    std::size_t offsets = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        buildQuadtree(tree, settings, threads);
        benchmark::DoNotOptimize(tree.root);
        state.PauseTiming();
        nodes = quadtreeNodeCount(tree);
        offsets = quadtreeOffsetCount(tree);
        bytes = quadtreeBytes(tree);
        destroyQuadtree(tree);
        state.ResumeTiming();
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["offsets"] = static_cast<double>(offsets);
    state.counters["tree_MiB"] = static_cast<double>(bytes) / (1 << 20);
}

// The statistics of a built tree (orrelin-inspect --stats, the page's Tree
// panel); args: depth, triangles per region.
void BM_QuadtreeStats(benchmark::State& state) {
    const QuadtreeSettings settings =
        settingsFor(static_cast<std::int32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
    Quadtree tree;
    buildQuadtree(tree, settings);
    for (auto _ : state) benchmark::DoNotOptimize(quadtreeStats(tree));
    destroyQuadtree(tree);
}

// Destroying a tree at depth 10 with 10 triangles per region: the time alone.
void BM_DestroyQuadtree(benchmark::State& state) {
    const QuadtreeSettings settings = settingsFor(10, 10);
    Quadtree tree;
    for (auto _ : state) {
        state.PauseTiming();
        buildQuadtree(tree, settings);
        state.ResumeTiming();
        destroyQuadtree(tree);
    }
}

void BM_Locate(benchmark::State& state) {
    const QuadtreeSettings settings = settingsFor(5, 50);
    Quadtree tree;
    buildQuadtree(tree, settings);
    // Points spread evenly over the bounds, from a fixed splitmix64 sequence.
    std::vector<Point2> points(kLocatePoints);
    std::uint64_t s = 12345;
    auto next = [&s]() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const Rect2& b = data.bounds;
    for (Point2& p : points) {
        const float u = static_cast<float>(next() >> 40) / 16777216.0f;
        const float v = static_cast<float>(next() >> 40) / 16777216.0f;
        p = Point2{b.minX + u * (b.maxX - b.minX), b.minY + v * (b.maxY - b.minY)};
    }
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const Point2& p : points) {
            const QuadtreeNode* region = locateRegion(tree.root, p);
            const HighlightContents contents = highlightContents(data.vertices, data.indices, region->triangles, p);
            found += contents.foundTriangleFirst != 0;
            benchmark::DoNotOptimize(contents.vertices.data());
        }
    }
    destroyQuadtree(tree);
    state.SetItemsProcessed(state.iterations() * kLocatePoints);
    state.counters["found"] = static_cast<double>(found);
}

void BM_FullLoad(benchmark::State& state) {
    for (auto _ : state) {
        const bool loaded = loadTriangleFile(data.triPath);
        clearFileMesh();
        if (!loaded) state.SkipWithError("load failed");
    }
    destroyQuadtree(AppState.quadtree);
    clearSceneMesh();
}

// --- The baseline -------------------------------------------------------------

void BM_Baseline_ReadParse(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<Point2> vertices;
        std::vector<std::uint32_t> indices;
        if (!baseline::readTriangleFile(data.triPath, vertices, indices)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.triBytes));
}

void BM_Baseline_EdgeList(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::uint32_t> edges = baseline::buildEdgeList(data.indices);
        benchmark::DoNotOptimize(edges.data());
    }
}

// Bytes a baseline tree holds: every node, allocated alone, and the capacity of
// its own triangle list (16 bytes of allocator overhead per allocation).
std::size_t baselineTreeBytes(const baseline::Node* node) {
    if (node == nullptr) return 0;
    std::size_t bytes = sizeof(baseline::Node) + 16;
    if (node->triangles.capacity() != 0) bytes += node->triangles.capacity() * sizeof(std::uint32_t) + 16;
    for (const baseline::Node* child : node->children) bytes += baselineTreeBytes(child);
    return bytes;
}

void BM_Baseline_Quadtree(benchmark::State& state) {
    baseline::Quadtree tree;
    std::size_t bytes = 0;
    for (auto _ : state) {
        baseline::buildQuadtree(tree, data.bounds, data.vertices, data.indices,
                                static_cast<std::int32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
        benchmark::DoNotOptimize(tree.root);
        state.PauseTiming();
        bytes = baselineTreeBytes(tree.root);
        baseline::destroyQuadtree(tree);
        state.ResumeTiming();
    }
    state.counters["tree_MiB"] = static_cast<double>(bytes) / (1 << 20);
}

void BM_Baseline_DestroyQuadtree(benchmark::State& state) {
    baseline::Quadtree tree;
    for (auto _ : state) {
        state.PauseTiming();
        baseline::buildQuadtree(tree, data.bounds, data.vertices, data.indices, 10, 10);
        state.ResumeTiming();
        baseline::destroyQuadtree(tree);
    }
}

void BM_Baseline_FullLoad(benchmark::State& state) {
    baseline::Scene scene;
    for (auto _ : state) {
        if (!baseline::loadScene(scene, data.triPath)) state.SkipWithError("load failed");
    }
}

// --- An OBJ reader on the same mesh ---------------------------------------------

void BM_TinyObj_Parse(benchmark::State& state) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;  // every face is a triangle already
    config.vertex_color = false;
    for (auto _ : state) {
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(data.objPath, config)) state.SkipWithError("OBJ parse failed");
        benchmark::DoNotOptimize(reader.GetAttrib().vertices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.objBytes));
}

// Each benchmark runs five times and reports the median, which keeps the
// figures steady on a busy machine; the iteration counts keep the whole run
// well under a minute and a half on a small one.
void configure(benchmark::internal::Benchmark* b, benchmark::IterationCount iterations) {
    b->Unit(benchmark::kMillisecond)->Iterations(iterations)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_ReadParse)->Arg(0)->Arg(1)->Apply([](auto* b) { configure(b, 4); });
BENCHMARK(BM_Validate)->Apply([](auto* b) { configure(b, 10); });
BENCHMARK(BM_EdgeList)->Arg(0)->Arg(1)->Apply([](auto* b) { configure(b, 4); });
BENCHMARK(BM_Bounds)->Apply([](auto* b) { configure(b, 10); });
BENCHMARK(BM_Quadtree)->Args({5, 50, 0})->Args({10, 10, 0})->Args({5, 50, 1})->Args({10, 10, 1})->Apply([](auto* b) {
    configure(b, 2);
});
BENCHMARK(BM_QuadtreeStats)->Args({5, 50})->Args({10, 10})->Apply([](auto* b) { configure(b, 4); });
BENCHMARK(BM_DestroyQuadtree)->Apply([](auto* b) { configure(b, 2); });
BENCHMARK(BM_Locate)->Apply([](auto* b) { configure(b, 4); });
BENCHMARK(BM_FullLoad)->Apply([](auto* b) { configure(b, 3); });
BENCHMARK(BM_Baseline_ReadParse)->Apply([](auto* b) { configure(b, 1); });
BENCHMARK(BM_Baseline_EdgeList)->Apply([](auto* b) { configure(b, 1); });
BENCHMARK(BM_Baseline_Quadtree)->Args({5, 50})->Args({10, 10})->Apply([](auto* b) { configure(b, 1); });
BENCHMARK(BM_Baseline_DestroyQuadtree)->Apply([](auto* b) { configure(b, 1); });
BENCHMARK(BM_Baseline_FullLoad)->Apply([](auto* b) { configure(b, 1); });
BENCHMARK(BM_TinyObj_Parse)->Apply([](auto* b) { configure(b, 2); });

}  // namespace

int main(int argc, char** argv) {
    if (const char* count = std::getenv("ORRELIN_BENCH_TRIANGLES")) {
        const std::string_view text(count);
        std::uint64_t value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value == 0) {
            fail("ORRELIN_BENCH_TRIANGLES must be a positive whole number");
        }
        kTriangles = value;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    prepareData();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
