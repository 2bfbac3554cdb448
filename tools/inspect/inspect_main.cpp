// orrelin-inspect: loads a triangle file exactly as the program does, optionally
// locates points as left clicks would, and prints one JSON object describing the
// mesh, the quadtree and each location.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <fast_float/fast_float.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_writer.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/scene/svg_figure.h"
#include "sweep_section.h"

namespace {

constexpr const char* kUsage =
    "usage: orrelin-inspect FILE [--max-depth N] [--max-triangles N] [--locate X Y]... [--summary] [--stats]\n"
    "                       [--sweep depth|triangles] [--svg OUT.svg [--size W H]]\n";

constexpr const char* kHelp =
    "usage: orrelin-inspect FILE [--max-depth N] [--max-triangles N] [--locate X Y]... [--summary] [--stats]\n"
    "                       [--sweep depth|triangles] [--svg OUT.svg [--size W H]]\n"
    "\n"
    "Loads a .tri triangle file with the program's own code and prints one JSON object:\n"
    "the mesh, its edge list, bounds, the quadtree's split regions and, for each\n"
    "--locate, the region a left click at that plane point tests, its result and the\n"
    "descent from the root to that region (\"path\").\n"
    "\n"
    "options:\n"
    "  --max-depth N      maximum quadtree depth, 1 to 10 (default 5)\n"
    "  --max-triangles N  triangles per region, 1 to 10000 (default 50)\n"
    "  --locate X Y       locate the plane point (X, Y), read as 32-bit floats; repeatable\n"
    "  --summary          leave out vertices, indices, edges and regions\n"
    "  --stats            add the tree's statistics: regions, leaves, depth reached,\n"
    "                     stored references, and the triangle tests a random click\n"
    "                     makes on average\n"
    "  --sweep LIMIT      build the tree for each value of one limit, the other one\n"
    "                     as given: 'depth' 1 to 10, or 'triangles' per region\n"
    "                     1, 2, 5, 10, 20, 50, ... 10000; per tree the expected\n"
    "                     tests of a random click, the stored references, the\n"
    "                     split regions and the build time\n"
    "  --svg OUT.svg      also write the program's first frame of the scene as an SVG\n"
    "                     figure, with the last --locate's highlight and descent\n"
    "  --size W H         the figure's size in pixels, 1 to 16384 (default 800 600)\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "exit status: 0 when the file loaded, 1 when it could not be opened, is invalid or\n"
    "its quadtree does not fit in memory, or the figure could not be written,\n"
    "2 on bad arguments.\n";

struct Options {
    std::string file;
    std::int32_t maxDepth = 5;
    std::int32_t maxTriangles = 50;
    std::vector<Point2> locates;
    bool summary = false;
    bool stats = false;
    std::optional<SweepAxis> sweep;
    std::string svg;  // empty: no figure
    std::int32_t svgWidth = 800;
    std::int32_t svgHeight = 600;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "orrelin-inspect: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

bool parseWholeInt(std::string_view text, std::int32_t& out) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool parseWholeFloat(std::string_view text, float& out) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    float value = 0.0f;
    const auto result = fast_float::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    // "inf" is a number like any other; digits beyond the float range are not,
    // nor are non-zero digits too small to be told from zero (the conversion
    // gives an infinity or a zero for them without an error).
    const std::size_t lead = !text.empty() && text[0] == '-' ? 1 : 0;
    const bool literal =
        text.size() > lead && (text[lead] == 'i' || text[lead] == 'I' || text[lead] == 'n' || text[lead] == 'N');
    if (!literal &&
        (std::isinf(value) || (value == 0.0f && text.find_first_of("123456789") < text.find_first_of("eE")))) {
        return false;
    }
    out = value;
    return true;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char* what) -> std::string_view {
            if (i + 1 >= argc) usageError(std::string(arg) + " needs " + what);
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--max-depth") {
            const std::string_view v = value("a number");
            if (!parseWholeInt(v, options.maxDepth) || options.maxDepth < 1 || options.maxDepth > 10) {
                usageError("--max-depth must be a whole number from 1 to 10, not '" + std::string(v) + "'");
            }
        } else if (arg == "--max-triangles") {
            const std::string_view v = value("a number");
            if (!parseWholeInt(v, options.maxTriangles) || options.maxTriangles < 1 || options.maxTriangles > 10000) {
                usageError("--max-triangles must be a whole number from 1 to 10000, not '" + std::string(v) + "'");
            }
        } else if (arg == "--locate") {
            const std::string_view xs = value("two numbers");
            const std::string_view ys = value("two numbers");
            Point2 p;
            if (!parseWholeFloat(xs, p.x) || !parseWholeFloat(ys, p.y)) {
                usageError("--locate needs two numbers, not '" + std::string(xs) + "' '" + std::string(ys) + "'");
            }
            options.locates.push_back(p);
        } else if (arg == "--summary") {
            options.summary = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--sweep") {
            const std::string_view v = value("'depth' or 'triangles'");
            if (v == "depth") {
                options.sweep = SweepAxis::Depth;
            } else if (v == "triangles") {
                options.sweep = SweepAxis::Triangles;
            } else {
                usageError("--sweep takes 'depth' or 'triangles', not '" + std::string(v) + "'");
            }
        } else if (arg == "--svg") {
            options.svg = std::string(value("a file name"));
            if (options.svg.empty()) usageError("--svg needs a file name");
        } else if (arg == "--size") {
            const std::string_view w = value("two numbers");
            const std::string_view h = value("two numbers");
            if (!parseWholeInt(w, options.svgWidth) || !parseWholeInt(h, options.svgHeight) || options.svgWidth < 1 ||
                options.svgHeight < 1 || options.svgWidth > 16384 || options.svgHeight > 16384) {
                usageError("--size needs two whole numbers from 1 to 16384, not '" + std::string(w) + "' '" +
                           std::string(h) + "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            usageError("unknown option '" + std::string(arg) + "'");
        } else if (!haveFile) {
            options.file = std::string(arg);
            haveFile = true;
        } else {
            usageError("more than one FILE given");
        }
    }
    if (!haveFile) usageError("no FILE given");
    return options;
}

void appendPoint(std::string& out, Point2 p) {
    out += '[';
    appendFloat(out, p.x);
    out += ", ";
    appendFloat(out, p.y);
    out += ']';
}

template <typename T, typename Fn>
void appendArray(std::string& out, const std::vector<T>& items, Fn appendItem) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        appendItem(items[i]);
    }
    out += ']';
}

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every platform: no line-end translation.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const Options options = parseArguments(argc, argv);

    AppState.quadtreeSettings.maxDepth = options.maxDepth;
    AppState.quadtreeSettings.maxTrianglesPerRegion = static_cast<std::uint32_t>(options.maxTriangles);
    LoadFailure failure = LoadFailure::None;
    const bool loaded = loadTriangleFile(options.file, &failure);
    clearFileMesh();

    std::string out;
    out += "{\"file\": ";
    appendString(out, options.file);
    if (!loaded) {
        if (failure == LoadFailure::OutOfMemory) {
            // The file is fine; its quadtree with these limits is not.
            out += ", \"valid\": true, \"error\": ";
            appendString(out, kOutOfMemoryText);
        } else {
            out += ", \"valid\": false, \"error\": ";
            appendString(out, loadErrorText(options.file));
        }
        out += "}\n";
        writeOut(out);
        return 1;
    }

    const Mesh& mesh = AppState.mesh;
    out += ", \"valid\": true";
    out += ",\n \"vertexCount\": ";
    appendUnsigned(out, mesh.vertices.size());
    out += ", \"triangleCount\": ";
    appendUnsigned(out, mesh.indices.size() / 3);
    out += ", \"edgeCount\": ";
    appendUnsigned(out, mesh.edges.size() / 2);
    out += ", \"regionCount\": ";
    appendUnsigned(out, AppState.quadtree.regionList.size());
    if (!options.summary) {
        out += ",\n \"vertices\": ";
        appendArray(out, mesh.vertices, [&](Point2 p) { appendPoint(out, p); });
        out += ",\n \"indices\": ";
        appendArray(out, mesh.indices, [&](std::uint32_t v) { appendUnsigned(out, v); });
        out += ",\n \"edges\": ";
        appendArray(out, mesh.edges, [&](std::uint32_t v) { appendUnsigned(out, v); });
    }
    const Rect2& b = AppState.sceneBounds;
    out += ",\n \"bounds\": [";
    appendFloat(out, b.minX);
    out += ", ";
    appendFloat(out, b.minY);
    out += ", ";
    appendFloat(out, b.maxX);
    out += ", ";
    appendFloat(out, b.maxY);
    out += "], \"centre\": ";
    appendPoint(out, AppState.sceneCenter);
    out += ", \"extent\": ";
    appendFloat(out, AppState.sceneExtent);
    out += ", \"moveStep\": ";
    appendFloat(out, AppState.moveStep);
    if (!options.summary) {
        out += ",\n \"regions\": ";
        appendArray(out, AppState.quadtree.regionList, [&](const QuadtreeNode* node) {
            const float values[6] = {node->bounds.minX, node->bounds.minY, node->bounds.maxX,
                                     node->bounds.maxY, node->centre.x,    node->centre.y};
            out += '[';
            for (int k = 0; k < 6; ++k) {
                if (k) out += ", ";
                appendFloat(out, values[k]);
            }
            out += ']';
        });
    }
    if (options.stats) {
        const QuadtreeStats stats = quadtreeStats(AppState.quadtree);
        out += ",\n \"stats\": {\"splitRegions\": ";
        appendUnsigned(out, stats.splitRegions);
        out += ", \"leaves\": ";
        appendUnsigned(out, stats.leaves);
        out += ", \"emptyLeaves\": ";
        appendUnsigned(out, stats.emptyLeaves);
        out += ", \"depthReached\": ";
        appendSigned(out, stats.depthReached);
        out += ", \"storedReferences\": ";
        appendUnsigned(out, stats.storedReferences);
        out += ", \"maxPerLeaf\": ";
        appendUnsigned(out, stats.maxPerLeaf);
        out += ", \"meanPerLeaf\": ";
        appendDouble(out, stats.meanPerLeaf);
        out += ", \"expectedTests\": ";
        appendDouble(out, stats.expectedTests);
        out += ", \"triangleCount\": ";
        appendUnsigned(out, mesh.indices.size() / 3);
        out += '}';
    }
    if (options.sweep) appendSweepSection(out, *options.sweep);
    out += ",\n \"queries\": [";
    for (std::size_t q = 0; q < options.locates.size(); ++q) {
        simulatePointLocation(options.locates[q]);
        const auto region = AppState.highlightRegion->triangles;
        out += q ? ",\n  " : "\n  ";
        out += "{\"point\": ";
        appendPoint(out, AppState.queryPoint);
        out += ", \"region\": [";
        for (std::size_t k = 0; k < region.size(); ++k) {
            if (k) out += ", ";
            appendUnsigned(out, region[k]);
        }
        out += "], \"inside\": [";
        for (std::size_t k = 0; k < region.size(); ++k) {
            if (k) out += ", ";
            out += pointInTriangle(mesh.vertices, mesh.indices, region[k], AppState.queryPoint) ? "true" : "false";
        }
        out += "], \"foundTriangleFirst\": ";
        appendSigned(out, AppState.gpuBuffers.foundTriangleFirst);
        out += ", \"highlightVertexCount\": ";
        appendSigned(out, AppState.gpuBuffers.highlightVertexCount);
        out += ", \"path\": [";
        const std::vector<DescentStep> path = descentPath(AppState.quadtree.root, AppState.queryPoint);
        for (std::size_t k = 0; k < path.size(); ++k) {
            const Rect2& r = path[k].region->bounds;
            out += k ? ", {\"bounds\": [" : "{\"bounds\": [";
            appendFloat(out, r.minX);
            out += ", ";
            appendFloat(out, r.minY);
            out += ", ";
            appendFloat(out, r.maxX);
            out += ", ";
            appendFloat(out, r.maxY);
            out += "], \"triangles\": ";
            appendUnsigned(out, path[k].region->heldTriangles);
            if (path[k].child >= 0) {
                out += ", \"child\": ";
                appendSigned(out, path[k].child);
            }
            out += '}';
        }
        out += "]}";
    }
    out += options.locates.empty() ? "]}\n" : "\n ]}\n";
    writeOut(out);
    if (!options.svg.empty()) {
        const std::string figure = sceneSvg(options.svgWidth, options.svgHeight, !options.locates.empty());
        std::FILE* file = std::fopen(options.svg.c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(figure.data(), 1, figure.size(), file) == figure.size();
        if (file != nullptr && std::fclose(file) != 0) return 1;
        if (!written) {
            std::fprintf(stderr, "orrelin-inspect: could not write %s\n", options.svg.c_str());
            return 1;
        }
    }
    return 0;
}
