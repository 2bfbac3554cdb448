#include "sweep_section.h"

#include <cmath>

#include "json_writer.h"
#include "orrelin/scene/limit_sweep.h"

void appendSweepSection(std::string& out, SweepAxis axis) {
    const LimitSweep sweep = sweepShownMesh(axis);
    out += ",\n \"sweep\": {\"limit\": ";
    out += axis == SweepAxis::Depth ? "\"depth\"" : "\"triangles\"";
    out += ", \"points\": [";
    for (std::size_t k = 0; k < sweep.points.size(); ++k) {
        const SweepPoint& p = sweep.points[k];
        out += k ? ",\n  {\"maxDepth\": " : "\n  {\"maxDepth\": ";
        appendSigned(out, p.maxDepth);
        out += ", \"maxTriangles\": ";
        appendUnsigned(out, p.maxTrianglesPerRegion);
        if (!p.fits) {
            out +=
                ", \"fits\": false, \"expectedTests\": null, \"storedReferences\": null, \"splitRegions\": null, "
                "\"buildMs\": null}";
            continue;
        }
        out += ", \"fits\": true, \"expectedTests\": ";
        appendDouble(out, p.expectedTests);
        out += ", \"storedReferences\": ";
        appendUnsigned(out, p.storedReferences);
        out += ", \"splitRegions\": ";
        appendUnsigned(out, p.splitRegions);
        out += ", \"buildMs\": ";
        appendDouble(out, std::round(p.buildMilliseconds * 1000.0) / 1000.0);
        out += '}';
    }
    out += "\n ]}";
}
