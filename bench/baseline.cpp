#include "baseline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace baseline {

bool readTriangleFile(const std::string& path, std::vector<Point2>& vertices, std::vector<std::uint32_t>& indices) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    float x = 0.0f;
    float y = 0.0f;
    int a = 0;
    int b = 0;
    int c = 0;
    int ch;
    while ((ch = std::fgetc(file)) != EOF) {
        if (ch == 'v') {
            // The conversion's result is not looked at: a failed number keeps its last value.
            const int converted = std::fscanf(file, "%8f %8f", &x, &y);
            static_cast<void>(converted);
            vertices.push_back(Point2{x, y});
        } else if (ch == 'f') {
            const int converted = std::fscanf(file, "%d %d %d", &a, &b, &c);
            static_cast<void>(converted);
            indices.push_back(static_cast<std::uint32_t>(a));
            indices.push_back(static_cast<std::uint32_t>(b));
            indices.push_back(static_cast<std::uint32_t>(c));
        }
    }
    std::fclose(file);
    return true;
}

bool validateMesh(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices) {
    if (vertices.empty() || indices.empty() || indices.size() % 3 != 0) return false;
    std::uint32_t largest = 0;
    for (std::uint32_t index : indices) largest = std::max(largest, index);
    return largest <= vertices.size() - 1;
}

std::vector<std::uint32_t> buildEdgeList(const std::vector<std::uint32_t>& indices) {
    std::vector<std::uint32_t> edges;
    std::set<std::string> edgeSet;
    char key[255];
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        const std::uint32_t pairs[3][2] = {
            {indices[i], indices[i + 1]},
            {indices[i], indices[i + 2]},
            {indices[i + 1], indices[i + 2]},
        };
        for (const auto& pair : pairs) {
            const std::uint32_t p = pair[0];
            const std::uint32_t q = pair[1];
            std::snprintf(key, sizeof key, "%d_%d", static_cast<int>(p), static_cast<int>(q));
            const bool foundPQ = edgeSet.find(key) != edgeSet.end();
            std::snprintf(key, sizeof key, "%d_%d", static_cast<int>(q), static_cast<int>(p));
            const bool foundQP = edgeSet.find(key) != edgeSet.end();
            if (!foundPQ && !foundQP) {
                edgeSet.insert(key);
                edges.push_back(p);
                edges.push_back(q);
            }
        }
    }
    return edges;
}

Bounds computeBounds(const std::vector<Point2>& vertices) {
    Rect2 r{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
    for (std::size_t i = 1; i < vertices.size(); ++i) {
        if (vertices[i].x < r.minX) {
            r.minX = vertices[i].x;
        } else if (vertices[i].x > r.maxX) {
            r.maxX = vertices[i].x;
        }
        if (vertices[i].y < r.minY) {
            r.minY = vertices[i].y;
        } else if (vertices[i].y > r.maxY) {
            r.maxY = vertices[i].y;
        }
    }
    Bounds bounds;
    bounds.rect = r;
    const float dx = r.minX - r.maxX;
    const float dy = r.minY - r.maxY;
    const float sum = dx * dx + dy * dy;
    bounds.extent = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    bounds.moveStep = bounds.extent / 50.0f;
    bounds.centre = Point2{(r.maxX + r.minX) * 0.5f, (r.maxY + r.minY) * 0.5f};
    return bounds;
}

namespace {

Node* newNode(const Quadtree& tree, const Rect2& bounds) {
    Node* node = new Node;
    node->bounds = bounds;
    node->centre = Point2{(bounds.minX + bounds.maxX) * 0.5f, (bounds.minY + bounds.maxY) * 0.5f};
    node->owner = &tree;
    return node;
}

bool counts(double t) {
    return t > -0.000001 && t < 1.000001;
}

void distributeTriangle(Node& node, Point2 v0, Point2 v1, Point2 v2, std::uint32_t offset) {
    const Rect2& b = node.bounds;
    const Point2 c = node.centre;
    bool added[4] = {false, false, false, false};
    auto add = [&](int child) {
        if (!added[child]) {
            added[child] = true;
            node.children[child]->triangles.push_back(offset);
        }
    };
    const Point2 ends[3][2] = {{v2, v0}, {v0, v1}, {v1, v2}};
    for (const auto& edge : ends) {
        const Point2 p = edge[0];
        const Point2 q = edge[1];
        const float dx = q.x - p.x;
        const float dy = q.y - p.y;
        if (dx != 0.0f) {
            double t = (static_cast<double>(c.x) - p.x) / dx;
            if (counts(t)) {
                const double y = p.y + t * dy;
                if (y < c.y) {
                    if (y >= b.minY) {
                        add(0);
                        add(1);
                    }
                } else if (y <= b.maxY) {
                    add(2);
                    add(3);
                }
            }
            t = (static_cast<double>(b.minX) - p.x) / dx;
            if (counts(t)) {
                const double y = p.y + t * dy;
                if (b.minY <= y && y <= c.y) {
                    add(0);
                } else if (c.y <= y && y <= b.maxY) {
                    add(2);
                }
            }
            t = (static_cast<double>(b.maxX) - p.x) / dx;
            if (counts(t)) {
                const double y = p.y + t * dy;
                if (b.minY <= y && y <= c.y) {
                    add(1);
                } else if (c.y <= y && y <= b.maxY) {
                    add(3);
                }
            }
        }
        if (dy != 0.0f) {
            double t = (static_cast<double>(c.y) - p.y) / dy;
            if (counts(t)) {
                const double x = p.x + t * dx;
                if (x > c.x) {
                    if (x <= b.maxX) {
                        add(1);
                        add(3);
                    }
                } else if (x >= b.minX) {
                    add(0);
                    add(2);
                }
            }
            t = (static_cast<double>(b.minY) - p.y) / dy;
            if (counts(t)) {
                const double x = p.x + t * dx;
                if (b.minX <= x && x <= c.x) {
                    add(0);
                } else if (c.x <= x && x <= b.maxX) {
                    add(1);
                }
            }
            t = (static_cast<double>(b.maxY) - p.y) / dy;
            if (counts(t)) {
                const double x = p.x + t * dx;
                if (b.minX <= x && x <= c.x) {
                    add(2);
                } else if (c.x <= x && x <= b.maxX) {
                    add(3);
                }
            }
        }
    }
    if (!added[0] && !added[1] && !added[2] && !added[3]) {
        add((v0.y >= c.y ? 2 : 0) + (v0.x > c.x ? 1 : 0));
    }
}

void subdivideNode(Quadtree& tree, Node& node, std::int32_t depth) {
    const Rect2 b = node.bounds;
    const Point2 c = node.centre;
    node.children[0] = newNode(tree, Rect2{b.minX, b.minY, c.x, c.y});
    node.children[1] = newNode(tree, Rect2{c.x, b.minY, b.maxX, c.y});
    node.children[2] = newNode(tree, Rect2{b.minX, c.y, c.x, b.maxY});
    node.children[3] = newNode(tree, Rect2{c.x, c.y, b.maxX, b.maxY});
    const std::vector<Point2>& vertices = *tree.vertices;
    const std::vector<std::uint32_t>& indices = *tree.indices;
    for (std::uint32_t o : node.triangles) {
        distributeTriangle(node, vertices[indices[o]], vertices[indices[o + 1]], vertices[indices[o + 2]], o);
    }
    tree.regionList.push_back(&node);
    for (Node* child : node.children) {
        if (static_cast<std::uint32_t>(child->triangles.size()) > tree.maxTrianglesPerRegion && depth < tree.maxDepth) {
            subdivideNode(tree, *child, depth + 1);
        }
    }
}

void destroyNode(Node* node) {
    for (Node* child : node->children) {
        if (child != nullptr) destroyNode(child);
    }
    delete node;
}

}  // namespace

void buildQuadtree(Quadtree& tree, const Rect2& rootBounds, const std::vector<Point2>& vertices,
                   const std::vector<std::uint32_t>& indices, std::int32_t maxDepth,
                   std::uint32_t maxTrianglesPerRegion) {
    tree.indices = &indices;
    tree.maxTrianglesPerRegion = maxTrianglesPerRegion;
    tree.vertices = &vertices;
    tree.maxDepth = maxDepth;
    Node* root = newNode(tree, rootBounds);
    for (std::size_t o = 0; o < indices.size(); o += 3) root->triangles.push_back(static_cast<std::uint32_t>(o));
    tree.root = root;
    subdivideNode(tree, *root, 1);
}

void destroyQuadtree(Quadtree& tree) {
    tree.regionList.clear();
    if (tree.root != nullptr) destroyNode(tree.root);
    tree.root = nullptr;
}

bool loadScene(Scene& scene, const std::string& path) {
    scene.fileVertices.clear();
    scene.fileIndices.clear();
    const bool read = readTriangleFile(path, scene.fileVertices, scene.fileIndices);
    const bool valid = read && validateMesh(scene.fileVertices, scene.fileIndices);
    if (valid) {
        destroyQuadtree(scene.quadtree);
        scene.vertices.clear();
        scene.indices.clear();
        scene.edges.clear();
        scene.vertices = scene.fileVertices;
        scene.indices = scene.fileIndices;
        scene.edges = buildEdgeList(scene.indices);
        scene.bounds = computeBounds(scene.vertices);
        buildQuadtree(scene.quadtree, scene.bounds.rect, scene.vertices, scene.indices, 5, 50);
    }
    scene.fileVertices.clear();
    scene.fileVertices.shrink_to_fit();
    scene.fileIndices.clear();
    scene.fileIndices.shrink_to_fit();
    return valid;
}

}  // namespace baseline
