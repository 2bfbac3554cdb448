// Prints the page's constants module: the enums, ids, colours and names the
// page's scripts share with the core, taken from the core's own headers, so
// that none of them is written twice. The page's build runs it under node and
// bundles what it prints (web/site/bundle.mjs).

#include <fmt/format.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "orrelin/render/buffer_contents.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/ui/dialog_fields.h"
#include "orrelin/ui/info_dialog.h"
#include "orrelin/view/camera_math.h"
#include "orrelin/web/web_buffers.h"
#include "page_interface.h"

namespace {

using Names = std::initializer_list<std::pair<const char*, int>>;

template <typename Enum>
std::pair<const char*, int> entry(const char* name, Enum value) {
    return {name, static_cast<int>(value)};
}

std::string enumObject(const char* comment, const char* name, Names values) {
    std::string out = fmt::format("/** {} */\nexport const {} = Object.freeze({{\n", comment, name);
    for (const auto& [key, value] : values) out += fmt::format("  {}: {},\n", key, value);
    return out + "});\n\n";
}

std::string colour(const char* comment, const char* name, Color3 c) {
    return fmt::format("/** {} @type {{[number, number, number]}} */\nexport const {} = [{}, {}, {}];\n\n", comment,
                       name, c.r, c.g, c.b);
}

}  // namespace

int main() {
    std::string out =
        "// The page's constants from the core's headers. Made by the module's page_constants.cpp at build time;\n"
        "// edit the headers, not this.\n\n";
    out += enumObject("Which buffer a hand-over replaces.", "WebBuffer",
                      {entry("MeshVertices", WebBuffer::MeshVertices), entry("MeshEdges", WebBuffer::MeshEdges),
                       entry("RegionLines", WebBuffer::RegionLines), entry("Highlight", WebBuffer::Highlight),
                       entry("HeatMap", WebBuffer::HeatMap)});
    out +=
        enumObject("The texts orrelin_text returns.", "WebText",
                   {entry("PropertiesCaption", WebText::PropertiesCaption),
                    entry("InvalidDepth", WebText::InvalidDepth), entry("InvalidTriangles", WebText::InvalidTriangles),
                    entry("OutOfMemory", WebText::OutOfMemory), entry("InfoCaption", WebText::InfoCaption)});
    out += enumObject("Why a load failed.", "LoadFailure",
                      {entry("None", LoadFailure::None), entry("Unreadable", LoadFailure::Unreadable),
                       entry("OutOfMemory", LoadFailure::OutOfMemory)});
    out += enumObject("The stages a load reports.", "SceneStage",
                      {entry("Parsing", SceneStage::Parsing), entry("Quadtree", SceneStage::Quadtree),
                       entry("Edges", SceneStage::Edges), entry("Buffers", SceneStage::Buffers)});
    out += enumObject("The arrow keys.", "ArrowKey",
                      {entry("Left", ArrowKey::Left), entry("Right", ArrowKey::Right), entry("Up", ArrowKey::Up),
                       entry("Down", ArrowKey::Down)});
    out += enumObject("What the properties' check found.", "PropertiesVerdict",
                      {entry("Valid", PropertiesVerdict::Valid), entry("InvalidDepth", PropertiesVerdict::InvalidDepth),
                       entry("InvalidTriangles", PropertiesVerdict::InvalidTriangles)});
    out += enumObject(
        "What the Generate form's check found.", "GenerateVerdict",
        {entry("Valid", GenerateVerdict::Valid), entry("InvalidKind", GenerateVerdict::InvalidKind),
         entry("InvalidCount", GenerateVerdict::InvalidCount), entry("InvalidSeed", GenerateVerdict::InvalidSeed)});
    out += enumObject("The kinds of the dialog template's controls.", "ControlKind",
                      {entry("Edit", ControlKind::Edit), entry("PushButton", ControlKind::PushButton),
                       entry("GroupBox", ControlKind::GroupBox), entry("Static", ControlKind::Static)});
    out += enumObject("The ids of the controls the page works with.", "ControlId",
                      {{"MaxDepth", IDC_MAX_DEPTH},
                       {"TrianglesPerRegion", IDC_TRIANGLES_PER_REGION},
                       {"Apply", IDC_APPLY},
                       {"OpenFile", IDC_OPEN_FILE}});
    out += enumObject("Sizes of what the module hands over and writes.", "Sizes",
                      {{"ColoredVertexBytes", static_cast<int>(sizeof(ColoredVertex))},
                       {"HeatScaleStops", static_cast<int>(kHeatScaleStops)},
                       {"WebVertexBytes", static_cast<int>(sizeof(WebVertex))},
                       {"RegionOutlineVertices", kRegionOutlineVertices},
                       {"SceneMeasures", kSceneMeasureCount},
                       {"SceneStats", kSceneStatCount},
                       {"DescentStepFloats", kDescentStepFloats},
                       {"SweepPointDoubles", kSweepPointDoubles}});
    out += colour("The outline of a descent's regions.", "kDescentColor", kDescentColor);
    out += colour("The region a step-by-step replay stands on.", "kStepColor", kStepColor);
    out +=
        fmt::format("/** The mesh opened at start, in the Data folder. */\nexport const kDefaultMeshName = \"{}\";\n",
                    kDefaultMeshName);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
