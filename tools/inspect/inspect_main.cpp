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
    "                       [--sweep depth|triangles] [--svg OUT.svg [--size W H] [--eye X Y Z]]\n";

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
    "  --eye X Y Z        the figure seen from this eye, read as 32-bit floats, as\n"
    "                     the program shows it after zooming and panning (default:\n"
    "                     the eye that frames the scene after the load)\n"
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
    std::optional<Vec3f> svgEye;  // empty: the load's framing
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

// The command line after the program's name, read left to right.
struct ArgumentList {
    int argc;
    char** argv;
    int next = 1;

    bool done() const { return next >= argc; }
    std::string_view take() { return argv[next++]; }
    // The value after `option`; a usage error when there is none.
    std::string_view value(std::string_view option, const char* what) {
        if (done()) usageError(std::string(option) + " needs " + what);
        return take();
    }
};

// Reads `arg`, an option, and the values it takes into `options`. False when
// no option has that name.
bool parseOption(std::string_view arg, ArgumentList& args, Options& options) {
    if (arg == "-h" || arg == "--help") {
        std::fputs(kHelp, stdout);
        std::exit(0);
    } else if (arg == "--max-depth") {
        const std::string_view v = args.value(arg, "a number");
        if (!parseWholeInt(v, options.maxDepth) || options.maxDepth < 1 || options.maxDepth > 10) {
            usageError("--max-depth must be a whole number from 1 to 10, not '" + std::string(v) + "'");
        }
    } else if (arg == "--max-triangles") {
        const std::string_view v = args.value(arg, "a number");
        if (!parseWholeInt(v, options.maxTriangles) || options.maxTriangles < 1 || options.maxTriangles > 10000) {
            usageError("--max-triangles must be a whole number from 1 to 10000, not '" + std::string(v) + "'");
        }
    } else if (arg == "--locate") {
        const std::string_view xs = args.value(arg, "two numbers");
        const std::string_view ys = args.value(arg, "two numbers");
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
        const std::string_view v = args.value(arg, "'depth' or 'triangles'");
        if (v == "depth") {
            options.sweep = SweepAxis::Depth;
        } else if (v == "triangles") {
            options.sweep = SweepAxis::Triangles;
        } else {
            usageError("--sweep takes 'depth' or 'triangles', not '" + std::string(v) + "'");
        }
    } else if (arg == "--svg") {
        options.svg = std::string(args.value(arg, "a file name"));
        if (options.svg.empty()) usageError("--svg needs a file name");
    } else if (arg == "--eye") {
        const std::string_view xs = args.value(arg, "three numbers");
        const std::string_view ys = args.value(arg, "three numbers");
        const std::string_view zs = args.value(arg, "three numbers");
        Vec3f eye;
        if (!parseWholeFloat(xs, eye.x) || !parseWholeFloat(ys, eye.y) || !parseWholeFloat(zs, eye.z)) {
            usageError("--eye needs three numbers, not '" + std::string(xs) + "' '" + std::string(ys) + "' '" +
                       std::string(zs) + "'");
        }
        options.svgEye = eye;
    } else if (arg == "--size") {
        const std::string_view w = args.value(arg, "two numbers");
        const std::string_view h = args.value(arg, "two numbers");
        if (!parseWholeInt(w, options.svgWidth) || !parseWholeInt(h, options.svgHeight) || options.svgWidth < 1 ||
            options.svgHeight < 1 || options.svgWidth > 16384 || options.svgHeight > 16384) {
            usageError("--size needs two whole numbers from 1 to 16384, not '" + std::string(w) + "' '" +
                       std::string(h) + "'");
        }
    } else {
        return false;
    }
    return true;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    bool haveFile = false;
    ArgumentList args{argc, argv};
    while (!args.done()) {
        const std::string_view arg = args.take();
        if (parseOption(arg, args, options)) continue;
        if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
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

void appendBounds(std::string& out, const Rect2& r) {
    out += '[';
    appendFloat(out, r.minX);
    out += ", ";
    appendFloat(out, r.minY);
    out += ", ";
    appendFloat(out, r.maxX);
    out += ", ";
    appendFloat(out, r.maxY);
    out += ']';
}

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// The sections of the printed object, in the order they appear. Each begins
// with the comma that separates it from the one before.

// A file that did not load: whether it is valid, the message the program
// shows and, for a file that was read but is invalid, the reason.
void writeLoadFailure(std::string& out, const Options& options, LoadFailure failure, const MeshRefusal& refusal) {
    if (failure == LoadFailure::OutOfMemory) {
        // The file is fine; its quadtree with these limits is not.
        out += ", \"valid\": true, \"error\": ";
        appendString(out, kOutOfMemoryText);
    } else {
        out += ", \"valid\": false, \"error\": ";
        appendString(out, loadErrorText(options.file));
        if (refusal.fault != MeshFault::None) {
            out += ", \"reason\": ";
            appendString(out, refusalText(refusal));
        }
    }
}

void writeCounts(std::string& out, const Mesh& mesh) {
    out += ", \"valid\": true";
    out += ",\n \"vertexCount\": ";
    appendUnsigned(out, mesh.vertices.size());
    out += ", \"triangleCount\": ";
    appendUnsigned(out, mesh.indices.size() / 3);
    out += ", \"edgeCount\": ";
    appendUnsigned(out, mesh.edges.size() / 2);
    out += ", \"regionCount\": ";
    appendUnsigned(out, AppState.quadtree.regionList.size());
}

void writeMeshArrays(std::string& out, const Mesh& mesh) {
    out += ",\n \"vertices\": ";
    appendArray(out, mesh.vertices, [&](Point2 p) { appendPoint(out, p); });
    out += ",\n \"indices\": ";
    appendArray(out, mesh.indices, [&](std::uint32_t v) { appendUnsigned(out, v); });
    out += ",\n \"edges\": ";
    appendArray(out, mesh.edges, [&](std::uint32_t v) { appendUnsigned(out, v); });
}

// The scene's bounds and the view measures derived from them.
void writeFraming(std::string& out) {
    out += ",\n \"bounds\": ";
    appendBounds(out, AppState.sceneBounds);
    out += ", \"centre\": ";
    appendPoint(out, AppState.sceneCenter);
    out += ", \"extent\": ";
    appendFloat(out, AppState.sceneExtent);
    out += ", \"moveStep\": ";
    appendFloat(out, AppState.moveStep);
}

// Each split region's bounds and centre.
void writeRegions(std::string& out) {
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

void writeStats(std::string& out, const Mesh& mesh) {
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

// The regions from the root to the one the last location tested.
void writeDescent(std::string& out) {
    const std::vector<DescentStep> path = descentPath(AppState.quadtree.root, AppState.queryPoint);
    appendArray(out, path, [&](const DescentStep& step) {
        out += "{\"bounds\": ";
        appendBounds(out, step.region->bounds);
        out += ", \"triangles\": ";
        appendUnsigned(out, step.region->heldTriangles);
        if (step.child >= 0) {
            out += ", \"child\": ";
            appendSigned(out, step.child);
        }
        out += '}';
    });
}

// The last location: its point, the triangles it tested and which hold the point.
void writeQuery(std::string& out, const Mesh& mesh) {
    const auto region = AppState.highlightRegion->triangles;
    const std::vector<TriangleOffset> tested(region.begin(), region.end());
    out += "{\"point\": ";
    appendPoint(out, AppState.queryPoint);
    out += ", \"region\": ";
    appendArray(out, tested, [&](TriangleOffset t) { appendUnsigned(out, t); });
    out += ", \"inside\": ";
    appendArray(out, tested, [&](TriangleOffset t) {
        out += pointInTriangle(mesh.vertices, mesh.indices, t, AppState.queryPoint) ? "true" : "false";
    });
    out += ", \"foundTriangleFirst\": ";
    appendSigned(out, AppState.gpuBuffers.foundTriangleFirst);
    out += ", \"highlightVertexCount\": ";
    appendSigned(out, AppState.gpuBuffers.highlightVertexCount);
    out += ", \"path\": ";
    writeDescent(out);
    out += '}';
}

// Locates each point as a left click would, in order.
void writeQueries(std::string& out, const std::vector<Point2>& locates, const Mesh& mesh) {
    out += ",\n \"queries\": [";
    for (std::size_t q = 0; q < locates.size(); ++q) {
        simulatePointLocation(locates[q]);
        out += q ? ",\n  " : "\n  ";
        writeQuery(out, mesh);
    }
    out += locates.empty() ? "]" : "\n ]";
}

// Writes the figure of the scene as the program first frames it, or as seen
// from the given eye. False, with a message, when the file cannot be written.
bool writeFigure(const Options& options) {
    const bool highlight = !options.locates.empty();
    const std::string figure =
        options.svgEye ? sceneSvg(FigureView{options.svgWidth, options.svgHeight, *options.svgEye}, highlight)
                       : sceneSvg(options.svgWidth, options.svgHeight, highlight);
    std::FILE* file = std::fopen(options.svg.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(figure.data(), 1, figure.size(), file) == figure.size();
    if (file != nullptr && std::fclose(file) != 0) written = false;
    if (!written) std::fprintf(stderr, "orrelin-inspect: could not write %s\n", options.svg.c_str());
    return written;
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
    MeshRefusal refusal;
    const bool loaded = loadSceneFile(options.file, &failure, &refusal);

    std::string out;
    out += "{\"file\": ";
    appendString(out, options.file);
    if (!loaded) {
        writeLoadFailure(out, options, failure, refusal);
        writeOut(out + "}\n");
        return 1;
    }
    const Mesh& mesh = AppState.mesh;
    writeCounts(out, mesh);
    if (!options.summary) writeMeshArrays(out, mesh);
    writeFraming(out);
    if (!options.summary) writeRegions(out);
    if (options.stats) writeStats(out, mesh);
    if (options.sweep) appendSweepSection(out, *options.sweep);
    writeQueries(out, options.locates, mesh);
    out += "}\n";
    writeOut(out);
    if (!options.svg.empty() && !writeFigure(options)) return 1;
    return 0;
}
