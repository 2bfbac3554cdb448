// orrelin-meshgen: writes a generated triangle file of exactly N triangles.
//
// Every kind is a lattice of cells, two triangles per cell, laid out row by row
// from the bottom; the last row is cut short so that the count comes out exact.
// Only the column lines, the row lines and the jitter differ between the kinds:
//   grid      evenly spaced lines, every inner vertex jittered by up to 1/8 cell;
//   density   column and row lines drawn together around a few centres, so the
//             cell size varies by a factor of 16 along each axis;
//   slivers   one row of cells (more only when the columns would get too thin)
//             whose triangles run from the bottom edge to the top edge;
//   holes     a square grid whose cells inside two circles are left out (every
//             row full; the cells are taken in order until the count is met).
//
// The output is the same on every platform: the random numbers come from a
// seeded integer generator, and coordinates are integers in units of 1/10000
// that are printed with integer arithmetic. The domain is [0, 1000] on both
// axes, so no coordinate needs more than 8 characters ("999.9999").

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: orrelin-meshgen KIND N OUT.tri [--seed S]\n";

constexpr const char* kHelp =
    "usage: orrelin-meshgen KIND N OUT.tri [--seed S]\n"
    "\n"
    "Writes a triangle file with exactly N triangles ('v X Y' and 'f A B C' lines,\n"
    "0-based indices) inside the square [0, 1000] x [0, 1000].\n"
    "\n"
    "kinds:\n"
    "  grid      a jittered regular grid, two triangles per cell\n"
    "  density   a jittered grid whose cells crowd around a few spots\n"
    "  slivers   long thin triangles from the bottom edge to the top edge\n"
    "  holes     a jittered grid with two round holes in it\n"
    "\n"
    "arguments:\n"
    "  N          number of triangles, 1 to 1431655765\n"
    "  --seed S   seed of the jitter, 0 to 18446744073709551615 (default 1)\n"
    "  -h, --help show this help and exit\n"
    "\n"
    "The same arguments give the same file on every platform.\n"
    "exit status: 0 when the file was written, 1 when it could not be written,\n"
    "2 on bad arguments.\n";

// Coordinates are integers in these units per mesh unit.
constexpr std::int64_t kUnitsPerMeshUnit = 10000;
// Side of the square domain, in units (1000 mesh units).
constexpr std::int64_t kDomain = 1000 * kUnitsPerMeshUnit;
// Triangle t is addressed by the 32-bit offset 3t, which bounds the count.
constexpr std::uint64_t kMaxTriangles = 0xFFFFFFFFull / 3;
// Sliver columns are at least this many units wide, so no triangle degenerates.
constexpr std::int64_t kMinSliverWidth = 4;

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "orrelin-meshgen: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

bool parseWholeUnsigned(std::string_view text, std::uint64_t& out) {
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

enum class Kind { Grid, Density, Slivers, Holes };

struct Options {
    Kind kind = Kind::Grid;
    std::uint64_t triangles = 0;
    std::string out;
    std::uint64_t seed = 1;
};

Options parseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string_view> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--seed") {
            if (i + 1 >= argc) usageError("--seed needs a number");
            const std::string_view v = argv[++i];
            if (!parseWholeUnsigned(v, options.seed)) {
                usageError("--seed must be a whole number from 0 to 18446744073709551615, not '" + std::string(v) +
                           "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
            usageError("unknown option '" + std::string(arg) + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3) {
        usageError(positional.size() < 3 ? "KIND, N and OUT.tri are required" : "too many arguments");
    }
    if (positional[0] == "grid") {
        options.kind = Kind::Grid;
    } else if (positional[0] == "density") {
        options.kind = Kind::Density;
    } else if (positional[0] == "slivers") {
        options.kind = Kind::Slivers;
    } else if (positional[0] == "holes") {
        options.kind = Kind::Holes;
    } else {
        usageError("unknown KIND '" + std::string(positional[0]) + "' (grid, density, slivers or holes)");
    }
    if (!parseWholeUnsigned(positional[1], options.triangles) || options.triangles < 1 ||
        options.triangles > kMaxTriangles) {
        usageError("N must be a whole number from 1 to " + std::to_string(kMaxTriangles) + ", not '" +
                   std::string(positional[1]) + "'");
    }
    options.out = std::string(positional[2]);
    return options;
}

// splitmix64: a small generator with a 64-bit state whose output depends only
// on the seed and the number of draws.
struct SplitMix64 {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value in [-amplitude, amplitude]; amplitude below 2^31.
    std::int64_t symmetric(std::int64_t amplitude) {
        const std::uint64_t span = static_cast<std::uint64_t>(2 * amplitude + 1);
        const std::uint64_t draw = next() >> 32;
        return static_cast<std::int64_t>((draw * span) >> 32) - amplitude;
    }
};

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

// Largest r with r * r <= n.
std::uint64_t integerSqrt(std::uint64_t n) {
    std::uint64_t lo = 0;
    std::uint64_t hi = std::uint64_t{1} << 32;
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (mid * mid <= n) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// The lattice: `cols` cells per row, `rows` rows, the last one holding
// `lastRowTriangles` triangles (1 to 2 * cols).
struct Lattice {
    std::uint64_t cols = 0;
    std::uint64_t rows = 0;
    std::uint64_t lastRowTriangles = 0;
    std::vector<std::int64_t> xLines;   // cols + 1 positions, 0 to kDomain, strictly increasing
    std::vector<std::int64_t> yLines;   // rows + 1 positions, 0 to kDomain, strictly increasing
    std::vector<std::int64_t> xJitter;  // per column line: largest x displacement of its vertices
    std::vector<std::int64_t> yJitter;  // per row line: largest y displacement of its vertices
};

void setShape(Lattice& lattice, std::uint64_t triangles, std::uint64_t cols) {
    lattice.cols = cols;
    lattice.rows = ceilDiv(triangles, 2 * cols);
    lattice.lastRowTriangles = triangles - 2 * cols * (lattice.rows - 1);
}

std::vector<std::int64_t> evenLines(std::uint64_t cells) {
    std::vector<std::int64_t> lines(cells + 1);
    for (std::uint64_t i = 0; i <= cells; ++i) {
        lines[i] = static_cast<std::int64_t>(static_cast<std::uint64_t>(kDomain) * i / cells);
    }
    return lines;
}

// Lines whose spacing is smallest at the `centres` (positions in 1/1024 of the
// domain) and grows with the square of the distance to the nearest centre, up
// to 16 times that at 0.3 of the domain and beyond. The widths are integer
// weights, so the lines are exact prefix sums scaled to the domain.
std::vector<std::int64_t> crowdedLines(std::uint64_t cells, std::initializer_list<std::int64_t> centres) {
    constexpr std::int64_t kScale = 1024;
    constexpr std::int64_t kReach = 307;
    std::vector<std::uint64_t> prefix(cells + 1, 0);
    for (std::uint64_t i = 0; i < cells; ++i) {
        // Middle of cell i, in 1/1024 of the domain.
        const std::int64_t u = static_cast<std::int64_t>((2 * i + 1) * kScale / (2 * cells));
        std::int64_t nearest = kReach;
        for (std::int64_t c : centres) {
            const std::int64_t d = u > c ? u - c : c - u;
            if (d < nearest) nearest = d;
        }
        const std::uint64_t weight = static_cast<std::uint64_t>(kReach * kReach + 15 * nearest * nearest);
        prefix[i + 1] = prefix[i] + weight;
    }
    // A weight is below 2^21 and there are fewer than 2^15 cells (N is bounded),
    // so kDomain * prefix stays below 2^60.
    std::vector<std::int64_t> lines(cells + 1);
    for (std::uint64_t i = 0; i <= cells; ++i) {
        lines[i] = static_cast<std::int64_t>(static_cast<std::uint64_t>(kDomain) * prefix[i] / prefix[cells]);
    }
    return lines;
}

// Each inner line may move by an eighth of the narrower of its two cells; the
// outer lines stay on the domain's edge. With every corner moved by at most an
// eighth of its cells, each triangle keeps at least half its area and its
// orientation, so no triangle folds over another.
std::vector<std::int64_t> eighthOfNeighbours(const std::vector<std::int64_t>& lines) {
    std::vector<std::int64_t> jitter(lines.size(), 0);
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::int64_t below = lines[i] - lines[i - 1];
        const std::int64_t above = lines[i + 1] - lines[i];
        jitter[i] = (below < above ? below : above) / 8;
    }
    return jitter;
}

// The two round holes of the `holes` kind, in domain units: a cell whose
// middle lies inside one has no triangles.
bool inHole(std::int64_t x, std::int64_t y) {
    struct Circle {
        std::int64_t x, y, r;
    };
    constexpr std::int64_t u = kUnitsPerMeshUnit;
    constexpr Circle holes[] = {{300 * u, 300 * u, 160 * u}, {680 * u, 640 * u, 200 * u}};
    for (const Circle& c : holes) {
        const std::int64_t dx = x - c.x;
        const std::int64_t dy = y - c.y;
        if (dx * dx + dy * dy < c.r * c.r) return true;
    }
    return false;
}

bool holeCell(const Lattice& lattice, std::uint64_t i, std::uint64_t j) {
    return inHole((lattice.xLines[i] + lattice.xLines[i + 1]) / 2, (lattice.yLines[j] + lattice.yLines[j + 1]) / 2);
}

Lattice makeLattice(Kind kind, std::uint64_t triangles) {
    Lattice lattice;
    switch (kind) {
        case Kind::Holes: {
            // A square lattice just large enough that the cells outside the
            // holes hold the triangles; every row is full.
            std::uint64_t cols = integerSqrt(ceilDiv(triangles, 2));
            if (cols == 0) cols = 1;
            for (;; ++cols) {
                lattice.cols = cols;
                lattice.rows = cols;
                lattice.lastRowTriangles = 2 * cols;
                lattice.xLines = evenLines(cols);
                lattice.yLines = evenLines(cols);
                std::uint64_t kept = 0;
                for (std::uint64_t j = 0; j < cols; ++j) {
                    for (std::uint64_t i = 0; i < cols; ++i) kept += holeCell(lattice, i, j) ? 0 : 2;
                }
                if (kept >= triangles) break;
            }
            lattice.xJitter = eighthOfNeighbours(lattice.xLines);
            lattice.yJitter = eighthOfNeighbours(lattice.yLines);
            break;
        }
        case Kind::Grid:
        case Kind::Density: {
            // Roughly square: cols^2 cells of two triangles each.
            const std::uint64_t cells = ceilDiv(triangles, 2);
            std::uint64_t cols = integerSqrt(cells);
            if (cols * cols < cells) ++cols;
            setShape(lattice, triangles, cols);
            if (kind == Kind::Grid) {
                lattice.xLines = evenLines(lattice.cols);
                lattice.yLines = evenLines(lattice.rows);
            } else {
                lattice.xLines = crowdedLines(lattice.cols, {307, 799});
                lattice.yLines = crowdedLines(lattice.rows, {635});
            }
            lattice.xJitter = eighthOfNeighbours(lattice.xLines);
            lattice.yJitter = eighthOfNeighbours(lattice.yLines);
            break;
        }
        case Kind::Slivers: {
            // As many full-height columns as the width allows; beyond that the
            // domain is cut into bands of columns stacked on one another.
            const std::uint64_t columnsNeeded = ceilDiv(triangles, 2);
            const std::uint64_t maxCols = static_cast<std::uint64_t>(kDomain / kMinSliverWidth);
            const std::uint64_t bands = ceilDiv(columnsNeeded, maxCols);
            setShape(lattice, triangles, ceilDiv(columnsNeeded, bands));
            lattice.xLines = evenLines(lattice.cols);
            lattice.yLines = evenLines(lattice.rows);
            lattice.xJitter = eighthOfNeighbours(lattice.xLines);
            lattice.yJitter.assign(lattice.yLines.size(), 0);
            break;
        }
    }
    for (std::size_t i = 0; i + 1 < lattice.xLines.size(); ++i) {
        if (lattice.xLines[i + 1] <= lattice.xLines[i]) std::abort();
    }
    for (std::size_t i = 0; i + 1 < lattice.yLines.size(); ++i) {
        if (lattice.yLines[i + 1] <= lattice.yLines[i]) std::abort();
    }
    return lattice;
}

// Buffered output to one file; a failed write is remembered and reported at the end.
class Writer {
   public:
    static constexpr std::size_t kCapacity = std::size_t{8} << 20;
    static constexpr std::size_t kLongestRecord = 64;

    explicit Writer(std::FILE* file) : file_(file), buffer_(kCapacity) {}

    // Room for one more record; flushes when the buffer is nearly full.
    char* reserve() {
        if (used_ + kLongestRecord > kCapacity) flush();
        return buffer_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

    void flush() {
        if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed_ = true;
        used_ = 0;
    }
    bool failed() const { return failed_; }

   private:
    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

char* putUnsigned(char* out, std::uint64_t value) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

// A coordinate in units of 1/10000, 0 to kDomain: the integer part, then the
// fraction without trailing zeros. "999.9999" and "1000" are the longest forms.
char* putCoordinate(char* out, std::int64_t units) {
    const std::uint64_t u = static_cast<std::uint64_t>(units);
    out = putUnsigned(out, u / kUnitsPerMeshUnit);
    std::uint64_t fraction = u % kUnitsPerMeshUnit;
    if (fraction != 0) {
        *out++ = '.';
        std::uint64_t place = kUnitsPerMeshUnit / 10;
        while (fraction != 0) {
            *out++ = static_cast<char>('0' + fraction / place);
            fraction %= place;
            place /= 10;
        }
    }
    return out;
}

void writeVertex(Writer& writer, std::int64_t x, std::int64_t y) {
    char* p = writer.reserve();
    *p++ = 'v';
    *p++ = ' ';
    p = putCoordinate(p, x);
    *p++ = ' ';
    p = putCoordinate(p, y);
    *p++ = '\n';
    writer.commit(p);
}

void writeTriangle(Writer& writer, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    char* p = writer.reserve();
    *p++ = 'f';
    *p++ = ' ';
    p = putUnsigned(p, a);
    *p++ = ' ';
    p = putUnsigned(p, b);
    *p++ = ' ';
    p = putUnsigned(p, c);
    *p++ = '\n';
    writer.commit(p);
}

// Vertex (i, j) sits on column line i and row line j and has the index
// j * (cols + 1) + i. The top line holds only the vertices the last row uses.
// Cell (i, j) is cut along its diagonal from lower right to upper left into
// two counter-clockwise triangles.
// With `holes` set to the triangle count, the cells inside the holes are left out.
void writeLattice(Writer& writer, const Lattice& lattice, std::uint64_t seed, std::uint64_t holes = 0) {
    const std::uint64_t stride = lattice.cols + 1;
    const std::uint64_t lastRowCells = lattice.lastRowTriangles / 2;
    SplitMix64 random{seed};
    for (std::uint64_t j = 0; j <= lattice.rows; ++j) {
        const std::uint64_t count = j < lattice.rows ? stride : lastRowCells + 1;
        for (std::uint64_t i = 0; i < count; ++i) {
            // Two draws per vertex, used or not, so each vertex's jitter depends
            // only on the seed and its index.
            const std::int64_t dx = random.symmetric(lattice.xJitter[i]);
            const std::int64_t dy = random.symmetric(lattice.yJitter[j]);
            writeVertex(writer, lattice.xLines[i] + dx, lattice.yLines[j] + dy);
        }
    }
    if (holes != 0) {
        // Cells in row order, those inside a hole left out, up to the count.
        std::uint64_t left = holes;
        for (std::uint64_t j = 0; j < lattice.rows && left > 0; ++j) {
            for (std::uint64_t i = 0; i < lattice.cols && left > 0; ++i) {
                if (holeCell(lattice, i, j)) continue;
                const std::uint64_t lowerLeft = j * stride + i;
                const std::uint64_t upperLeft = lowerLeft + stride;
                writeTriangle(writer, lowerLeft, lowerLeft + 1, upperLeft);
                if (--left == 0) break;
                writeTriangle(writer, lowerLeft + 1, upperLeft + 1, upperLeft);
                --left;
            }
        }
        return;
    }
    for (std::uint64_t j = 0; j < lattice.rows; ++j) {
        const std::uint64_t triangles = j + 1 < lattice.rows ? 2 * lattice.cols : lattice.lastRowTriangles;
        for (std::uint64_t t = 0; t < triangles; ++t) {
            const std::uint64_t i = t / 2;
            const std::uint64_t lowerLeft = j * stride + i;
            const std::uint64_t upperLeft = lowerLeft + stride;
            if (t % 2 == 0) {
                writeTriangle(writer, lowerLeft, lowerLeft + 1, upperLeft);
            } else {
                writeTriangle(writer, lowerLeft + 1, upperLeft + 1, upperLeft);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);
    const Lattice lattice = makeLattice(options.kind, options.triangles);

    std::FILE* file = std::fopen(options.out.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "orrelin-meshgen: cannot open '%s' for writing: %s\n", options.out.c_str(),
                     std::strerror(errno));
        return 1;
    }
    bool ok = true;
    {
        Writer writer(file);
        writeLattice(writer, lattice, options.seed, options.kind == Kind::Holes ? options.triangles : 0);
        writer.flush();
        ok = !writer.failed();
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "orrelin-meshgen: writing '%s' failed\n", options.out.c_str());
        std::remove(options.out.c_str());
        return 1;
    }
    return 0;
}
