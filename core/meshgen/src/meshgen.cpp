#include "orrelin/meshgen/meshgen.h"

// The output is the same on every platform: the random numbers come from a
// seeded integer generator, and coordinates are integers in units of 1/10000
// that are printed with integer arithmetic. The domain is [0, 1000] on both
// axes, so no coordinate needs more than 8 characters ("999.9999").

#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "orrelin/base/contract.h"

namespace {

// Coordinates are integers in these units per mesh unit.
constexpr std::int64_t kUnitsPerMeshUnit = 10000;
// Side of the square domain, in units (1000 mesh units).
constexpr std::int64_t kDomain = 1000 * kUnitsPerMeshUnit;
// Sliver columns are at least this many units wide, so no triangle degenerates.
constexpr std::int64_t kMinSliverWidth = 4;

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

// A column or row line's place in its vector. Every lattice's lines fit in
// memory, so the narrowing is exact on 32-bit targets too.
std::size_t at(std::uint64_t line) {
    return static_cast<std::size_t>(line);
}

std::vector<std::int64_t> evenLines(std::uint64_t cells) {
    std::vector<std::int64_t> lines(at(cells + 1));
    for (std::uint64_t i = 0; i <= cells; ++i) {
        lines[at(i)] = static_cast<std::int64_t>(static_cast<std::uint64_t>(kDomain) * i / cells);
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
    std::vector<std::uint64_t> prefix(at(cells + 1), 0);
    for (std::uint64_t i = 0; i < cells; ++i) {
        // Middle of cell i, in 1/1024 of the domain.
        const std::int64_t u = static_cast<std::int64_t>((2 * i + 1) * kScale / (2 * cells));
        std::int64_t nearest = kReach;
        for (std::int64_t c : centres) {
            const std::int64_t d = u > c ? u - c : c - u;
            if (d < nearest) nearest = d;
        }
        const std::uint64_t weight = static_cast<std::uint64_t>(kReach * kReach + 15 * nearest * nearest);
        prefix[at(i + 1)] = prefix[at(i)] + weight;
    }
    // A weight is below 2^21 and there are fewer than 2^15 cells (N is bounded),
    // so kDomain * prefix stays below 2^60.
    std::vector<std::int64_t> lines(at(cells + 1));
    for (std::uint64_t i = 0; i <= cells; ++i) {
        lines[at(i)] = static_cast<std::int64_t>(static_cast<std::uint64_t>(kDomain) * prefix[at(i)] / prefix.back());
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
    return inHole((lattice.xLines[at(i)] + lattice.xLines[at(i + 1)]) / 2,
                  (lattice.yLines[at(j)] + lattice.yLines[at(j + 1)]) / 2);
}

Lattice makeLattice(MeshKind kind, std::uint64_t triangles) {
    Lattice lattice;
    switch (kind) {
        case MeshKind::Holes: {
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
        case MeshKind::Grid:
        case MeshKind::Density: {
            // Roughly square: cols^2 cells of two triangles each.
            const std::uint64_t cells = ceilDiv(triangles, 2);
            std::uint64_t cols = integerSqrt(cells);
            if (cols * cols < cells) ++cols;
            setShape(lattice, triangles, cols);
            if (kind == MeshKind::Grid) {
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
        case MeshKind::Slivers: {
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

// Records gathered into pieces for the sink. Once the sink has stopped the
// generation, records are dropped and the generation ends at the next row.
class Writer {
   public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;
    static constexpr std::size_t kLongestRecord = 64;

    Writer(const MeshTextSink& sink, std::uint64_t recordsTotal)
        : sink_(sink), total_(recordsTotal), buffer_(kCapacity) {}

    // Room for one more record; hands the buffer on when it is nearly full.
    char* reserve() {
        if (used_ + kLongestRecord > kCapacity) flush();
        return buffer_.data() + used_;
    }
    void commit(char* end) {
        used_ = static_cast<std::size_t>(end - buffer_.data());
        ++done_;
    }

    void flush() {
        if (used_ != 0 && !stopped_) stopped_ = !sink_(std::string_view(buffer_.data(), used_), done_, total_);
        used_ = 0;
    }
    bool stopped() const { return stopped_; }

   private:
    const MeshTextSink& sink_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool stopped_ = false;
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
        if (writer.stopped()) return;
        for (std::uint64_t i = 0; i < count; ++i) {
            // Two draws per vertex, used or not, so each vertex's jitter depends
            // only on the seed and its index.
            const std::int64_t dx = random.symmetric(lattice.xJitter[at(i)]);
            const std::int64_t dy = random.symmetric(lattice.yJitter[at(j)]);
            writeVertex(writer, lattice.xLines[at(i)] + dx, lattice.yLines[at(j)] + dy);
        }
    }
    if (holes != 0) {
        // Cells in row order, those inside a hole left out, up to the count.
        std::uint64_t left = holes;
        for (std::uint64_t j = 0; j < lattice.rows && left > 0 && !writer.stopped(); ++j) {
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
    for (std::uint64_t j = 0; j < lattice.rows && !writer.stopped(); ++j) {
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

// Vertices: every full line of column-line crossings, then the top line's
// share; triangles: the count.
std::uint64_t recordCount(const Lattice& lattice, std::uint64_t triangles) {
    const std::uint64_t vertices = lattice.rows * (lattice.cols + 1) + lattice.lastRowTriangles / 2 + 1;
    return vertices + triangles;
}

}  // namespace

bool meshKindFromName(std::string_view name, MeshKind& kind) {
    for (MeshKind k : {MeshKind::Grid, MeshKind::Density, MeshKind::Slivers, MeshKind::Holes}) {
        if (name == meshKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

const char* meshKindName(MeshKind kind) {
    switch (kind) {
        case MeshKind::Grid: return "grid";
        case MeshKind::Density: return "density";
        case MeshKind::Slivers: return "slivers";
        case MeshKind::Holes: return "holes";
    }
    return "";
}

bool writeGeneratedMesh(MeshKind kind, std::uint64_t triangles, std::uint64_t seed, const MeshTextSink& sink) {
    ORRELIN_REQUIRE(triangles >= 1 && triangles <= kMaxGeneratedTriangles);
    const Lattice lattice = makeLattice(kind, triangles);
    Writer writer(sink, recordCount(lattice, triangles));
    writeLattice(writer, lattice, seed, kind == MeshKind::Holes ? triangles : 0);
    writer.flush();
    return !writer.stopped();
}

GenerateResult generateMeshText(MeshKind kind, std::uint64_t triangles, std::uint64_t seed, std::string& text,
                                const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress) {
    text.clear();
    if (triangles < 1 || triangles > kMaxTrianglesInMemory) return GenerateResult::CountOutOfRange;
    const bool done = writeGeneratedMesh(
        kind, triangles, seed, [&](std::string_view piece, std::uint64_t recordsDone, std::uint64_t recordsTotal) {
            text.append(piece);
            return !progress || progress(recordsDone, recordsTotal);
        });
    if (done) return GenerateResult::Done;
    std::string().swap(text);
    return GenerateResult::Cancelled;
}
