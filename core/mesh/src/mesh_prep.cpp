#include "orrelin/mesh/mesh_prep.h"

#include <algorithm>
#include <cmath>

#include "orrelin/base/contract.h"
#include "orrelin/base/parallel.h"

namespace {

// Buckets larger than this are sorted instead of scanned pairwise.
constexpr std::uint32_t kScanLimit = 32;

// Below this many edge occurrences the edge list is built on one thread.
constexpr std::size_t kOccurrencesPerPart = std::size_t{1} << 18;

}  // namespace

std::vector<std::uint32_t> buildEdgeList(const std::vector<std::uint32_t>& indices, std::size_t vertexCount,
                                         unsigned threads) {
    ORRELIN_REQUIRE(indices.size() % 3 == 0);
    const std::size_t occurrences = indices.size();  // three edges per triangle
    // Group positions are 32-bit.
    ORRELIN_REQUIRE(occurrences <= std::size_t{UINT32_MAX});

    // Edge occurrence k is edge k % 3 of triangle k / 3, in the order
    // (i0,i1), (i0,i2), (i1,i2).
    auto endpoints = [&indices](std::size_t k, std::uint32_t& p, std::uint32_t& q) {
        const std::size_t base = k - k % 3;
        switch (k % 3) {
            case 0:
                p = indices[base];
                q = indices[base + 1];
                break;
            case 1:
                p = indices[base];
                q = indices[base + 2];
                break;
            default:
                p = indices[base + 1];
                q = indices[base + 2];
                break;
        }
    };

    // The occurrences in `parts` runs of whole triangles, each taken by one thread.
    const std::size_t parts = threads != 0 ? threads : occurrences >= kOccurrencesPerPart ? threadsFor(0) : 1;
    threads = threadsFor(threads);
    std::vector<std::size_t> partStart(parts + 1);
    for (std::size_t t = 0; t <= parts; ++t) partStart[t] = occurrences / 3 * t / parts * 3;

    // Group the occurrences by their smaller vertex (a counting sort, so each
    // group stays in occurrence order: the runs' shares of a group follow one
    // another), then keep the first occurrence of every larger vertex within a group.
    std::vector<std::vector<std::uint32_t>> cursor(parts, std::vector<std::uint32_t>(vertexCount, 0));
    runParallel(threads, parts, [&](std::size_t t) {
        std::vector<std::uint32_t>& count = cursor[t];
        for (std::size_t k = partStart[t]; k < partStart[t + 1]; ++k) {
            std::uint32_t p, q;
            endpoints(k, p, q);
            ORRELIN_REQUIRE(p < vertexCount && q < vertexCount);
            ++count[std::min(p, q)];
        }
    });
    std::vector<std::uint32_t> groupStart(vertexCount + 1, 0);
    for (std::size_t v = 0; v < vertexCount; ++v) {
        std::uint32_t at = groupStart[v];
        for (std::size_t t = 0; t < parts; ++t) {
            const std::uint32_t count = cursor[t][v];
            cursor[t][v] = at;
            at += count;
        }
        groupStart[v + 1] = at;
    }

    struct Entry {
        std::uint32_t other;       // larger vertex of the occurrence
        std::uint32_t occurrence;  // k
    };
    std::vector<Entry> grouped(occurrences);
    runParallel(threads, parts, [&](std::size_t t) {
        std::vector<std::uint32_t>& fill = cursor[t];
        for (std::size_t k = partStart[t]; k < partStart[t + 1]; ++k) {
            std::uint32_t p, q;
            endpoints(k, p, q);
            grouped[fill[std::min(p, q)]++] = Entry{std::max(p, q), static_cast<std::uint32_t>(k)};
        }
    });
    std::vector<std::vector<std::uint32_t>>().swap(cursor);

    // Groups are independent: marked in runs of vertices side by side.
    std::vector<std::uint8_t> first(occurrences, 0);
    const std::size_t vertexRuns = parts == 1 ? 1 : 8 * parts;
    runParallel(threads, vertexRuns, [&](std::size_t r) {
        std::vector<Entry> scratch;
        for (std::size_t v = vertexCount * r / vertexRuns; v < vertexCount * (r + 1) / vertexRuns; ++v) {
            Entry* begin = grouped.data() + groupStart[v];
            Entry* end = grouped.data() + groupStart[v + 1];
            const std::size_t n = static_cast<std::size_t>(end - begin);
            if (n <= kScanLimit) {
                for (Entry* e = begin; e != end; ++e) {
                    bool seen = false;
                    for (Entry* f = begin; f != e && !seen; ++f) seen = f->other == e->other;
                    if (!seen) first[e->occurrence] = 1;
                }
            } else {
                // A vertex shared by many triangles (the hub of a fan): sort by
                // the other vertex, ties by occurrence, and keep each run's head.
                scratch.assign(begin, end);
                std::sort(scratch.begin(), scratch.end(), [](const Entry& l, const Entry& r2) {
                    return l.other != r2.other ? l.other < r2.other : l.occurrence < r2.occurrence;
                });
                for (std::size_t i = 0; i < n; ++i) {
                    if (i == 0 || scratch[i].other != scratch[i - 1].other) first[scratch[i].occurrence] = 1;
                }
            }
        }
    });
    std::vector<Entry>().swap(grouped);

    // The kept occurrences in order: each run writes its own behind the runs before it.
    std::vector<std::size_t> edgeStart(parts + 1, 0);
    runParallel(threads, parts, [&](std::size_t t) {
        std::size_t kept = 0;
        for (std::size_t k = partStart[t]; k < partStart[t + 1]; ++k) kept += first[k];
        edgeStart[t + 1] = kept;
    });
    for (std::size_t t = 0; t < parts; ++t) edgeStart[t + 1] += edgeStart[t];
    std::vector<std::uint32_t> edges(2 * edgeStart[parts]);
    runParallel(threads, parts, [&](std::size_t t) {
        std::uint32_t* out = edges.data() + 2 * edgeStart[t];
        for (std::size_t k = partStart[t]; k < partStart[t + 1]; ++k) {
            if (!first[k]) continue;
            endpoints(k, out[0], out[1]);
            out += 2;
        }
    });
    return edges;
}

float midpoint(float a, float b) {
    const float sum = a + b;
    return static_cast<float>(static_cast<double>(sum) * 0.5);
}

SceneMeasures computeSceneBounds(const std::vector<Point2>& vertices) {
    ORRELIN_REQUIRE(!vertices.empty());
    Rect2 r{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
    for (std::size_t i = 1; i < vertices.size(); ++i) {
        const Point2 v = vertices[i];
        if (v.x < r.minX) {
            r.minX = v.x;
        } else if (v.x > r.maxX) {
            r.maxX = v.x;
        }
        if (v.y < r.minY) {
            r.minY = v.y;
        } else if (v.y > r.maxY) {
            r.maxY = v.y;
        }
    }
    SceneMeasures m;
    m.bounds = r;
    // Differences, squares and their sum in single precision; the root in double.
    const float dx = r.minX - r.maxX;
    const float dy = r.minY - r.maxY;
    const float dx2 = dx * dx;
    const float dy2 = dy * dy;
    const float sum = dx2 + dy2;
    m.extent = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    m.moveStep = m.extent / 50.0f;
    m.centre = Point2{midpoint(r.maxX, r.minX), midpoint(r.maxY, r.minY)};
    return m;
}
